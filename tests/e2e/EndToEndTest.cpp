// The utility as a user meets it: emulator and kivo on a private X display,
// an injected event reaching the alert window and the report, the single
// instance, the service shutdown switch, and Exit sent as a command message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kivo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string BinaryDir() {
  const char* dir = std::getenv("KIVO_BINARY_DIR");
  return dir != nullptr ? dir : ".";
}

bool OnPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a command through the shell and returns its standard output.
std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

template <typename Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (predicate()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return predicate();
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("xdpyinfo")) {
      GTEST_SKIP() << "Xvfb, xdotool and xdpyinfo are needed";
    }
    char pattern[] = "/tmp/kivo-e2e.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    ::chmod(root_.c_str(), 0700);
    fs::create_directories(root_ / "registry");
    fs::create_directories(root_ / "cwd");
    ::setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    ::setenv("KIVO_REGISTRY_DIR", (root_ / "registry").c_str(), 1);
    ::setenv("KIVO_DEVICE_DIR", (root_ / "zelka").c_str(), 1);
    ::setenv("KIVO_RPC_DIR", (root_ / "ncalrpc").c_str(), 1);
    ::setenv("KIVO_TIME_SCALE", "90", 1);  // the monitor's 90 s become 1 s
    ::setenv("KIVO_EDITOR", "true", 1);
    ::unsetenv("QT_QPA_PLATFORM");
    StartDisplay();
    if (HasFatalFailure()) return;
    ASSERT_EQ(std::system((Bin("src/app/cli/kivo-install") + " >/dev/null").c_str()), 0);
    emulatorPid_ = Spawn({Bin("emulator/zelka-emulator"), "--http-port", "0"}, root_ / "emulator.log");
    ASSERT_TRUE(
        WaitUntil([&] { return ReadFile(root_ / "emulator.log").find("ready") != std::string::npos; }, 45s))
        << ReadFile(root_ / "emulator.log");
  }

  void TearDown() override {
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
      ::kill(*it, SIGTERM);
      int status = 0;
      ::waitpid(*it, &status, 0);
    }
    if (!root_.empty() && HasFailure()) {
      std::fprintf(stderr, "kept for inspection: %s (display %s)\n", root_.c_str(), display_.c_str());
    } else if (!root_.empty()) {
      std::error_code error;
      fs::remove_all(root_, error);
    }
  }

  static std::string Bin(const std::string& relative) { return BinaryDir() + "/" + relative; }

  void StartDisplay() {
    // A display number of this process's own: numbers that Xvfb hands out
    // first (-displayfd starts at 0) are reused at once by parallel tests,
    // and a server ending on a number can remove the socket of the next one.
    for (int attempt = 0; attempt < 40; ++attempt) {
      const int number = 100 + (static_cast<int>(::getpid()) * 7 + attempt * 13) % 800;
      if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
      const std::string name = ":" + std::to_string(number);
      const pid_t xvfb =
          Spawn({"Xvfb", name, "-screen", "0", "1280x900x24", "-nolisten", "tcp"}, root_ / "xvfb.log");
      const bool up = WaitUntil(
          [&] {
            return ::waitpid(xvfb, nullptr, WNOHANG) != 0 ||
                   std::system(("xdpyinfo -display " + name + " >/dev/null 2>&1").c_str()) == 0;
          },
          20s);
      if (up && ::waitpid(xvfb, nullptr, WNOHANG) == 0) {
        xvfbPid_ = xvfb;
        display_ = name;
        ::setenv("DISPLAY", display_.c_str(), 1);
        return;
      }
      if (::kill(xvfb, SIGTERM) == 0) ::waitpid(xvfb, nullptr, 0);
      std::erase(pids_, xvfb);
    }
    FAIL() << "no X display could be started: " << ReadFile(root_ / "xvfb.log");
  }

  // Starts a program with its output in `log`, in `cwd` when given.
  pid_t Spawn(const std::vector<std::string>& argv, const fs::path& log, const fs::path& cwd = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << argv[0];
    if (error == 0) pids_.push_back(pid);
    return pid;
  }

  pid_t StartKivo(const std::vector<std::string>& switches = {}) {
    std::vector<std::string> argv = {Bin("src/app/kivo")};
    argv.insert(argv.end(), switches.begin(), switches.end());
    return Spawn(argv, root_ / "kivo.log", root_ / "cwd");
  }

  // Waits for the process to end; its exit code, or -1 when it did not end.
  int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    const bool ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!ended) return -1;
    std::erase(pids_, pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  bool Running(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == 0; }

  // The ids of visible windows with exactly this title.
  std::string VisibleWindows(const std::string& title) {
    return Capture("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
  }
  bool WaitForWindow(const std::string& title, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return !VisibleWindows(title).empty(); }, limit);
  }

  int Command(int id) {
    return std::system((Bin("src/app/kivo-command") + " " + std::to_string(id) + " 2>/dev/null").c_str());
  }
  std::string Calls() { return Capture(Bin("emulator/zelka-emulator") + " ctl calls 2>&1"); }
  int Ctl(const std::string& arguments) {
    return std::system((Bin("emulator/zelka-emulator") + " ctl " + arguments + " >/dev/null 2>&1").c_str());
  }

  fs::path root_;
  std::string display_;
  pid_t xvfbPid_ = -1;
  pid_t emulatorPid_ = -1;
  std::vector<pid_t> pids_;
};

constexpr const char* kMainTitle = "Kivo Disk Management Utility";
constexpr const char* kAlertTitle = "Kivo - Event Notification Message";

TEST_F(EndToEndTest, EventReachesTheAlertWindowAndTheReport) {
  const pid_t kivo = StartKivo();
  // Started without "-max": the main window exists but is never seen.
  ASSERT_TRUE(
      WaitUntil([&] { return Capture("xwininfo -root -tree").find(kMainTitle) != std::string::npos; }, 45s));
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(VisibleWindows(kMainTitle).empty());
  EXPECT_TRUE(VisibleWindows(kAlertTitle).empty());

  ASSERT_EQ(Ctl("aen 0 9 1"), 0);
  ASSERT_TRUE(WaitForWindow(kAlertTitle, 30s)) << ReadFile(root_ / "kivo.log");
  // The line is in the report text: Snapshot writes it to data.txt.
  ASSERT_EQ(Command(32776), 0);
  const fs::path data = root_ / "cwd" / "data.txt";
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(data).find("Drive timeout") != std::string::npos; }, 45s));
  const std::string report = ReadFile(data);
  EXPECT_NE(report.find(" MESSAGE: Drive timeout encountered on unit 1 on controller ID:0.\r\n"),
            std::string::npos)
      << report;
  EXPECT_TRUE(Running(kivo));
}

TEST_F(EndToEndTest, SecondInstanceEndsAtOnceAndDoesNotStopTheService) {
  const pid_t first = StartKivo({"-max"});
  ASSERT_TRUE(WaitForWindow(kMainTitle, 45s)) << ReadFile(root_ / "kivo.log");
  const pid_t second = StartKivo({"-max"});
  EXPECT_EQ(WaitForExit(second, 45s), 0);
  const pid_t shutdown = StartKivo({"-servershutdown"});
  EXPECT_EQ(WaitForExit(shutdown, 45s), 0);
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(Running(emulatorPid_)) << "the service was asked to shut down";
  EXPECT_TRUE(Running(first));
  // Still one main window.
  std::string windows = VisibleWindows(kMainTitle);
  EXPECT_EQ(std::count(windows.begin(), windows.end(), '\n'), 1) << windows;
}

TEST_F(EndToEndTest, AnyWindowWithTheTitlePreventsTheStart) {
  if (!OnPath("xmessage")) GTEST_SKIP() << "xmessage is needed";
  Spawn({"xmessage", "-title", kMainTitle, "another program"}, root_ / "xmessage.log");
  ASSERT_TRUE(WaitForWindow(kMainTitle, 45s));
  const pid_t kivo = StartKivo({"-max"});
  EXPECT_EQ(WaitForExit(kivo, 45s), 0);
  // It ended at the check: no lock was taken, nothing was scanned.
  EXPECT_FALSE(fs::exists(root_ / ("Kivo Disk Management Utility (display " + display_ + ").lock")));
  EXPECT_NE(Calls().find("device calls: 0"), std::string::npos) << Calls();
}

TEST_F(EndToEndTest, OnlyTheExactTitleCounts) {
  if (!OnPath("xmessage")) GTEST_SKIP() << "xmessage is needed";
  Spawn({"xmessage", "-title", std::string(kMainTitle) + " (old)", "another program"},
        root_ / "xmessage.log");
  ASSERT_TRUE(WaitForWindow(std::string(kMainTitle) + " \\(old\\)", 45s));
  const pid_t kivo = StartKivo({"-max"});
  EXPECT_TRUE(WaitForWindow(kMainTitle, 45s));
  EXPECT_TRUE(Running(kivo));
}

TEST_F(EndToEndTest, EmailSetupByCommandStoresTheValuesAndReportsTheTest) {
  const pid_t kivo = StartKivo();
  ASSERT_TRUE(
      WaitUntil([&] { return Capture("xwininfo -root -tree").find(kMainTitle) != std::string::npos; }, 45s));
  ASSERT_EQ(Command(32778), 0);
  ASSERT_TRUE(WaitForWindow("Email Setup", 45s));
  const std::string dialog = VisibleWindows("Email Setup");
  std::system(("xdotool windowfocus --sync " + dialog.substr(0, dialog.find('\n')) +
               " && xdotool type --delay 2 'mail.kivo-test.invalid' && xdotool key Tab && "
               "xdotool type --delay 2 'ops@example.org' && xdotool key Tab && "
               "xdotool type --delay 2 'kivo@example.org' && xdotool key Tab && "
               "xdotool type --delay 2 'Kivo' && xdotool key Return")
                  .c_str());
  // The values are stored before the question is asked.
  const std::string box = "Kivo Disk Managenemt Utility";
  ASSERT_TRUE(WaitForWindow(box, 45s));
  const std::string registry = ReadFile(root_ / "registry" / "HKEY_USERS.reg");
  EXPECT_NE(registry.find("\"Host\"=\"mail.kivo-test.invalid\""), std::string::npos) << registry;
  EXPECT_NE(registry.find("\"FromName\"=\"Kivo\""), std::string::npos) << registry;
  // Yes: the name does not resolve, so the test fails and says where to look.
  const std::string question = VisibleWindows(box);
  std::system(
      ("xdotool windowfocus --sync " + question.substr(0, question.find('\n')) + " && xdotool key alt+y")
          .c_str());
  const fs::path log = root_ / "cwd" / "emaillog.txt";
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(log); }, 45s));
  EXPECT_EQ(ReadFile(log).find("Email: Attempting to connect failed.  Error: 10022 "), 0u) << ReadFile(log);
  EXPECT_TRUE(WaitForWindow(box, 45s));  // "Connection failed. ..."
  EXPECT_TRUE(Running(kivo));
}

TEST_F(EndToEndTest, ServerShutdownWithoutAnInstanceStopsTheService) {
  const pid_t shutdown = StartKivo({"-servershutdown", "-max"});
  EXPECT_EQ(WaitForExit(shutdown, 45s), 0);
  // Procedure 1 ends the emulator's service side, and with it the emulator.
  EXPECT_EQ(WaitForExit(emulatorPid_, 45s), 0);
  EXPECT_TRUE(VisibleWindows(kMainTitle).empty());  // nothing was shown
}

TEST_F(EndToEndTest, ServerShutdownFromAShellWithoutADisplayStopsTheService) {
  // A remote session or a removal script: no display at all.
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  const pid_t shutdown = StartKivo({"-servershutdown"});
  EXPECT_EQ(WaitForExit(shutdown, 45s), 0) << ReadFile(root_ / "kivo.log");
  EXPECT_EQ(WaitForExit(emulatorPid_, 45s), 0);
}

TEST_F(EndToEndTest, ExitEndsTheProgramAndTheEmulatorSeesNoFurtherCalls) {
  const pid_t kivo = StartKivo({"-max", "-q"});
  ASSERT_TRUE(WaitForWindow(kMainTitle, 45s));
  // Let monitoring run a few passes (every 0.2 s at this time scale).
  const std::string before = Calls();
  ASSERT_TRUE(WaitUntil([&] { return Calls() != before; }, 45s)) << before;
  ASSERT_EQ(Command(32771), 0);
  EXPECT_EQ(WaitForExit(kivo, 45s), 0) << ReadFile(root_ / "kivo.log");
  const std::string after = Calls();
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(Calls(), after);
  EXPECT_TRUE(VisibleWindows(kMainTitle).empty());
  // The command channel went with the program.
  EXPECT_NE(Command(32771), 0);
  // "-q" switched the alarm off for that run only; the stored value is untouched.
  EXPECT_EQ(ReadFile(root_ / "registry" / "HKEY_USERS.reg").find("AudioOff"), std::string::npos);
}

}  // namespace
}  // namespace kivo::test
