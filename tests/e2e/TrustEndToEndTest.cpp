// Whom the programs trust, tried as people would: another local user's
// planted device, service and runtime directories and servers (two users made
// with setpriv, so root only), one utility per X display, and the service
// shutdown switch whatever the display.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor/ChildProcess.h"

namespace kivo::test {
namespace {

namespace fs = std::filesystem;

std::string Bin(const std::string& relative) {
  const char* dir = std::getenv("KIVO_BINARY_DIR");
  return std::string(dir != nullptr ? dir : ".") + "/" + relative;
}

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a program to its end; its exit status and, in *output, what it wrote.
int RunToEnd(const std::vector<std::string>& argv, std::string* output = nullptr) {
  ChildProcess child;
  if (!child.Start(argv)) return -1;
  const int status = child.WaitExit(60);
  if (output != nullptr) *output = child.Out() + child.Err();
  return status;
}

// Whether the condition comes true within the limit (looked at every 50 ms,
// however long each look takes).
template <typename Condition>
bool Within(std::chrono::milliseconds limit, Condition condition) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

class TrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kivo-trust.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    ::chmod(root_.c_str(), 0755);  // both users pass through it
  }
  void TearDown() override {
    // Asked to end, so an X server removes its lock and socket.
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) (*it)->Signal(SIGTERM, 20);
    children_.clear();
    std::error_code ignored;
    for (const std::string& planted : planted_) fs::remove_all(planted, ignored);
    fs::remove_all(root_, ignored);
  }

  // The argv that runs `argv` as `uid` (the test's own user for -1), with
  // umask 000 and only the environment named: no XDG_RUNTIME_DIR, and no
  // display unless one is given (then no offscreen platform either).
  std::vector<std::string> As(int uid, std::vector<std::string> argv, std::vector<std::string> env = {}) {
    std::vector<std::string> full;
    std::string home = root_;
    if (uid >= 0) {
      const std::string id = std::to_string(uid);
      full = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"};
      home = root_ + "/user-" + id;
    }
    full.insert(full.end(), {"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "TZ=UTC", "HOME=" + home,
                             "KIVO_REGISTRY_DIR=" + home + "/registry"});
    if (std::none_of(env.begin(), env.end(),
                     [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0; })) {
      full.push_back("QT_QPA_PLATFORM=offscreen");
    }
    full.insert(full.end(), env.begin(), env.end());
    full.insert(full.end(), {"/bin/sh", "-c", "umask 0; exec \"$0\" \"$@\""});
    full.insert(full.end(), argv.begin(), argv.end());
    return full;
  }

  // Starts the emulator as `uid` on these directories and waits until it serves.
  ChildProcess& StartEmulator(int uid, const std::string& devices, const std::string& rpc) {
    children_.push_back(std::make_unique<ChildProcess>());
    ChildProcess& emulator = *children_.back();
    EXPECT_TRUE(emulator.Start(As(uid, {Bin("emulator/zelka-emulator"), "--device-dir", devices, "--rpc-dir",
                                        rpc, "--http-port", "0"})));
    EXPECT_TRUE(emulator.WaitForErr("ready", 45)) << emulator.Err();
    return emulator;
  }
  std::string Calls(int uid, const std::string& rpc) {
    std::string output;
    RunToEnd(As(uid, {Bin("emulator/zelka-emulator"), "ctl", "--rpc-dir", rpc, "calls"}), &output);
    return output;
  }

  std::string root_;
  std::vector<std::string> planted_;
  std::vector<std::unique_ptr<ChildProcess>> children_;
};

// A victim and a planter, two local users of their own for this test.
class TwoUsersTest : public TrustTest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0 || !OnPath("setpriv"))
      GTEST_SKIP() << "acting as two local users needs root and setpriv";
    TrustTest::SetUp();
    victim_ = 210000 + static_cast<int>(::getpid() % 50000) * 2;
    planter_ = victim_ + 1;
    for (int uid : {victim_, planter_}) {
      const std::string home = root_ + "/user-" + std::to_string(uid);
      fs::create_directory(home);
      ASSERT_EQ(::chown(home.c_str(), uid, uid), 0);
      ::chmod(home.c_str(), 0700);
    }
    if (RunToEnd(As(victim_, {"/usr/bin/test", "-x", Bin("src/app/kivo")})) != 0) {
      GTEST_SKIP() << "another user cannot run the built programs here";
    }
    planted_ = {"/tmp/zelka-" + std::to_string(victim_), "/tmp/kivo-" + std::to_string(victim_)};
  }
  std::string Home(int uid) { return root_ + "/user-" + std::to_string(uid); }

  int victim_ = -1;
  int planter_ = -1;
};

TEST_F(TwoUsersTest, AnotherUsersDirectoriesAndServersAreRefused) {
  const std::string planter = std::to_string(planter_);
  // The planter makes the victim's /tmp fallbacks first, open to everyone,
  // and serves a controller and a service there.
  const std::string fallbackRpc = planted_[1] + "/ncalrpc";
  ASSERT_EQ(RunToEnd(As(planter_, {"/bin/mkdir", "-m", "0755", planted_[0], planted_[1], fallbackRpc})), 0);
  StartEmulator(planter_, planted_[0], fallbackRpc);
  // Or the planter's sockets end up in the victim's own private directories.
  const std::string devices = Home(victim_) + "/zelka";
  const std::string rpc = Home(victim_) + "/ncalrpc";
  StartEmulator(planter_, Home(planter_) + "/zelka", Home(planter_) + "/ncalrpc");
  for (const std::string& dir : {devices, rpc}) {
    fs::create_directory(dir);
    ASSERT_EQ(::chown(dir.c_str(), victim_, victim_), 0);
  }
  fs::rename(Home(planter_) + "/zelka/Scsi0:", devices + "/Scsi0:");
  fs::rename(Home(planter_) + "/ncalrpc/KIVO", rpc + "/KIVO");
  struct Case {
    std::vector<std::string> env;
    std::string reportError, shutdownError, planterRpc;
  } const cases[] = {
      {{},
       "refusing the device directory: " + planted_[0] + " belongs to user " + planter + ", not to this user",
       "refusing the service directory: " + fallbackRpc + " belongs to user " + planter,
       fallbackRpc},
      {{"KIVO_DEVICE_DIR=" + devices, "KIVO_RPC_DIR=" + rpc},
       "refusing the device " + devices + "/Scsi0:: it is served by user " + planter,
       "refusing the service endpoint " + rpc + "/KIVO: it is served by user " + planter,
       Home(planter_) + "/ncalrpc"},
  };
  for (const Case& c : cases) {
    std::string report;
    RunToEnd(As(victim_, {Bin("src/app/cli/kivo-report")}, c.env), &report);
    EXPECT_NE(report.find(c.reportError), std::string::npos) << report;
    std::string shutdown;
    EXPECT_EQ(RunToEnd(As(victim_, {Bin("src/app/kivo"), "-servershutdown"}, c.env), &shutdown), 0);
    EXPECT_NE(shutdown.find(c.shutdownError), std::string::npos) << shutdown;
    // Neither reached the planter's programs, which still run.
    const std::string calls = Calls(planter_, c.planterRpc);
    EXPECT_NE(calls.find("device calls: 0\nrpc calls: 0"), std::string::npos) << calls;
  }
}

TEST_F(TwoUsersTest, OneRuntimeDirectoryForLockAndSocketAndAPlantedOneIsRefused) {
  const std::string runtime = planted_[1];
  const std::vector<std::string> env = {"KIVO_DEVICE_DIR=" + Home(victim_) + "/zelka",
                                        "KIVO_RPC_DIR=" + Home(victim_) + "/ncalrpc"};
  ChildProcess kivo;
  ASSERT_TRUE(kivo.Start(As(victim_, {Bin("src/app/kivo")}, env)));
  const std::string socket = runtime + "/Kivo Disk Management Utility.command";
  struct stat info {};
  EXPECT_TRUE(Within(std::chrono::seconds(45), [&] { return ::stat(socket.c_str(), &info) == 0; }))
      << "no " << socket << " within 45 s: " << kivo.Err();
  // umask 000 does not open it to others.
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_uid, static_cast<uid_t>(victim_));
  // A second start finds the lock beside the socket and ends.
  EXPECT_EQ(RunToEnd(As(victim_, {Bin("src/app/kivo")}, env)), 0);
  EXPECT_EQ(RunToEnd(As(victim_, {Bin("src/app/kivo-command"), "32771"})), 0);
  EXPECT_EQ(kivo.WaitExit(45), 0) << kivo.Err();

  // Planted by another user: refused by name, not swapped for a fresh one.
  fs::remove_all(runtime);
  ASSERT_EQ(RunToEnd(As(planter_, {"/bin/mkdir", "-m", "0777", runtime})), 0);
  std::string output;
  EXPECT_EQ(RunToEnd(As(victim_, {Bin("src/app/kivo-command"), "32771"}), &output), 1);
  EXPECT_NE(output.find("refusing the runtime directory: " + runtime + " belongs to user"), std::string::npos)
      << output;
  for (const auto& entry : fs::directory_iterator("/tmp")) {
    EXPECT_NE(entry.path().string().rfind(runtime + ".", 0), 0u) << entry.path();
  }
}

// A local X server for each test, on numbers no other server uses.
class DisplayTest : public TrustTest {
 protected:
  void SetUp() override {
    if (!OnPath("Xvfb") || !OnPath("xdotool")) GTEST_SKIP() << "Xvfb and xdotool are needed";
    TrustTest::SetUp();
    env_ = {"XDG_RUNTIME_DIR=" + root_, "KIVO_DEVICE_DIR=" + root_ + "/zelka",
            "KIVO_RPC_DIR=" + root_ + "/ncalrpc", "KIVO_TIME_SCALE=90"};
    ::chmod(root_.c_str(), 0700);
  }
  static std::string FreeDisplay(int after = 0) {
    for (int number = std::max(120, after + 1); number < 200; ++number) {
      if (!fs::exists("/tmp/.X" + std::to_string(number) + "-lock") &&
          !fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) {
        return ":" + std::to_string(number);
      }
    }
    return ":199";
  }
  std::string StartDisplay(const std::string& after = ":0") {
    const std::string name = FreeDisplay(std::stoi(after.substr(1)));
    children_.push_back(std::make_unique<ChildProcess>());
    EXPECT_TRUE(children_.back()->Start({"/usr/bin/Xvfb", name, "-nolisten", "tcp", "-displayfd", "1"}));
    EXPECT_TRUE(children_.back()->WaitForOut(name.substr(1), 30)) << children_.back()->Err();
    return name;
  }
  bool WindowShown(const std::string& display) {
    return Within(std::chrono::seconds(45), [&] {
      std::string found;
      RunToEnd({"/usr/bin/env", "DISPLAY=" + display, "xdotool", "search", "--name",
                "^Kivo Disk Management Utility$"},
               &found);
      return !found.empty();
    });
  }
  std::vector<std::string> Env(const std::string& display) {
    std::vector<std::string> env = env_;
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return env;
  }

  std::vector<std::string> env_;
};

TEST_F(DisplayTest, EachDisplayRunsItsOwnInstanceAndCommandsReachTheirOwn) {
  StartEmulator(-1, root_ + "/zelka", root_ + "/ncalrpc");
  const std::string first = StartDisplay();
  const std::string second = StartDisplay(first);
  ChildProcess one;
  ChildProcess two;
  ASSERT_TRUE(one.Start(As(-1, {Bin("src/app/kivo"), "-max"}, Env(first))));
  ASSERT_TRUE(WindowShown(first)) << one.Err();
  ASSERT_TRUE(two.Start(As(-1, {Bin("src/app/kivo"), "-max"}, Env(second))));
  ASSERT_TRUE(WindowShown(second)) << two.Err();
  EXPECT_EQ(RunToEnd(As(-1, {Bin("src/app/kivo"), "-max"}, Env(first))),
            0);  // the first display's second start
  EXPECT_EQ(RunToEnd(As(-1, {Bin("src/app/kivo-command"), "32771"}, Env(second))), 0);
  EXPECT_EQ(two.WaitExit(45), 0) << two.Err();
  EXPECT_EQ(::kill(one.Pid(), 0), 0) << "the command reached the other display";
  EXPECT_EQ(RunToEnd(As(-1, {Bin("src/app/kivo-command"), "32771"}, Env(first))), 0);
  EXPECT_EQ(one.WaitExit(45), 0) << one.Err();
}

// Answers every X connection with a refusal, as a server whose access
// control turns the client away.
class RefusingServer {
 public:
  RefusingServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(fd_, 8);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      // Failed, 8 bytes of reason, protocol 11.0, two words follow.
      static const char reply[] = "\0\x08\x0b\0\0\0\x02\0No entry";
      for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0; ::close(client)) {
        (void)!::write(client, reply, sizeof reply - 1);
      }
    });
  }
  ~RefusingServer() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  std::string Display() const { return "127.0.0.1:" + std::to_string(port_ - 6000); }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(DisplayTest, ServerShutdownAsksTheServiceWhateverTheDisplay) {
  RefusingServer refusing;
  for (const std::string& display : {std::string(), FreeDisplay(), refusing.Display()}) {
    ChildProcess& emulator = StartEmulator(-1, root_ + "/zelka", root_ + "/ncalrpc");
    std::string output;
    EXPECT_EQ(RunToEnd(As(-1, {Bin("src/app/kivo"), "-servershutdown"}, Env(display)), &output), 0)
        << display << ": " << output;
    EXPECT_EQ(emulator.WaitExit(45), 0) << display << ": the service was not asked";
  }
}

}  // namespace
}  // namespace kivo::test
