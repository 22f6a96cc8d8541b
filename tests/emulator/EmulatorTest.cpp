// The zelka-emulator program: it announces readiness, serves its world's
// devices, refuses bad world files and options, and cleans up on a signal.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "controller/ControllerSet.h"
#include "platform/HostFacts.h"
#include "platform/posix/SocketDeviceIo.h"
#include "support/FakeClock.h"
#include "support/HostDoubles.h"
#include "support/TempDir.h"

extern char** environ;

namespace kivo {
namespace {

std::string ProgramPath() {
  const char* binary = std::getenv("KIVO_BINARY_DIR");
  return std::string(binary ? binary : ".") + "/emulator/zelka-emulator";
}

using TempDir = test::TempDir;

// One run of the program with its standard error on a pipe.
class Emulator {
 public:
  explicit Emulator(const std::vector<std::string>& arguments,
                    const std::vector<std::string>& extraEnvironment = {}) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<std::string> all = {ProgramPath()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    stderr_ = pipeFds[0];
  }
  ~Emulator() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stderr_ >= 0) ::close(stderr_);
  }

  // Reads standard error until `text` appears or the program closes it
  // (bounded by a generous real-time limit for a loaded machine).
  bool WaitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (output_.find(text) == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
              .count();
      if (left <= 0) return false;
      pollfd p{stderr_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
      char buffer[512];
      const ssize_t n = ::read(stderr_, buffer, sizeof(buffer));
      if (n <= 0) return output_.find(text) != std::string::npos;
      output_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }
  // Exit status, or -1 when it did not end normally.
  int Wait() {
    WaitFor("\x01never\x01");  // drains standard error until it closes
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Signal(int number) { ::kill(pid_, number); }
  const std::string& Output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int stderr_ = -1;
  std::string output_;
};

using FixedHost = test::FakeHostFacts;

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

class EmulatorTest : public ::testing::Test {
 protected:
  std::vector<int> ControllerIds(const std::string& deviceDir, platform::DWORD platformId) {
    auto io = platform::MakeSocketDeviceIo(deviceDir);
    FixedHost host(platformId);
    test::FakeClock clock;
    platform::PlatformContext context;
    context.clock = &clock;
    context.host = &host;
    context.device = io.get();
    ControllerSet set(context);
    set.Initialise();
    std::vector<int> ids;
    for (int i = 0; i < set.ControllerCount(); ++i) ids.push_back(set.ControllerIdAt(i));
    return ids;
  }

  TempDir temp;
  std::string devices = temp.Path() + "/dev";
  std::string rpc = temp.Path() + "/rpc";
};

TEST_F(EmulatorTest, ServesTheBuiltInWorldAndCleansUpOnSigterm) {
  Emulator emulator({"--device-dir", devices, "--rpc-dir", rpc, "--http-port", "0"});
  ASSERT_TRUE(emulator.WaitFor("zelka-emulator: ready\n")) << emulator.Output();
  struct stat info {};
  ASSERT_EQ(::stat(devices.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(Exists(devices + "/Scsi0:"));
  EXPECT_TRUE(Exists(devices + "/Scsi1:"));
  EXPECT_EQ(ControllerIds(devices, platform::VER_PLATFORM_LINUX), (std::vector<int>{0, 1}));
  emulator.Signal(SIGTERM);
  EXPECT_EQ(emulator.Wait(), 0);
  EXPECT_FALSE(Exists(devices + "/Scsi0:"));
  EXPECT_FALSE(Exists(devices + "/Scsi1:"));
}

TEST_F(EmulatorTest, SigintEndsItToo) {
  Emulator emulator({"--device-dir=" + devices, "--rpc-dir=" + rpc, "--http-port=0"});
  ASSERT_TRUE(emulator.WaitFor("zelka-emulator: ready\n")) << emulator.Output();
  emulator.Signal(SIGINT);
  EXPECT_EQ(emulator.Wait(), 0);
  EXPECT_FALSE(Exists(devices + "/Scsi0:"));
}

TEST_F(EmulatorTest, DeviceDirectoryFromTheEnvironment) {
  Emulator emulator({"--rpc-dir", rpc, "--http-port", "0"}, {"KIVO_DEVICE_DIR=" + devices});
  ASSERT_TRUE(emulator.WaitFor("zelka-emulator: ready\n")) << emulator.Output();
  EXPECT_TRUE(Exists(devices + "/Scsi1:"));
}

TEST_F(EmulatorTest, VirtualDeviceWorldFromAFile) {
  const std::string world = temp.Path() + "/vsd.json";
  WriteFile(world, R"({"family": "virtual", "virtualDevice": {"version": "VSD 4.07", "controllers": 2},
                      "controllers": [{"port": 0}, {"port": 1}, {"port": 2}]})");
  Emulator emulator({"--world", world, "--device-dir", devices, "--rpc-dir", rpc, "--http-port", "0"});
  ASSERT_TRUE(emulator.WaitFor("zelka-emulator: ready\n")) << emulator.Output();
  EXPECT_TRUE(Exists(devices + "/ZELKAVSD"));
  EXPECT_FALSE(Exists(devices + "/Scsi0:"));
  // Three controllers behind the device, but it serves only two.
  EXPECT_EQ(ControllerIds(devices, platform::VER_PLATFORM_WIN32_WINDOWS), (std::vector<int>{0, 1}));
}

TEST_F(EmulatorTest, BadWorldFileEndsItWithFileLineAndReason) {
  const std::string world = temp.Path() + "/bad.json";
  WriteFile(world, "{\n  \"controllers\": [\n    {\"port\": 12}\n  ]\n}\n");
  Emulator emulator({"--world", world, "--device-dir", devices, "--rpc-dir", rpc, "--http-port", "0"});
  EXPECT_EQ(emulator.Wait(), 2);
  EXPECT_EQ(emulator.Output(), "zelka-emulator: " + world + ":3: port outside 0..11\n");
  EXPECT_FALSE(Exists(devices));
}

TEST_F(EmulatorTest, MissingWorldFile) {
  Emulator emulator(
      {"--world", temp.Path() + "/none.json", "--device-dir", devices, "--rpc-dir", rpc, "--http-port", "0"});
  EXPECT_EQ(emulator.Wait(), 2);
  EXPECT_NE(emulator.Output().find("cannot open the file"), std::string::npos) << emulator.Output();
}

TEST_F(EmulatorTest, SecondEmulatorOnTheSameDevicesIsRefused) {
  Emulator first({"--device-dir", devices, "--rpc-dir", rpc, "--http-port", "0"});
  ASSERT_TRUE(first.WaitFor("zelka-emulator: ready\n")) << first.Output();
  Emulator second({"--device-dir", devices, "--rpc-dir", temp.Path() + "/rpc2", "--http-port", "0"});
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_NE(second.Output().find("another server already answers on " + devices + "/Scsi0:"),
            std::string::npos)
      << second.Output();
  // The first one still serves.
  EXPECT_EQ(ControllerIds(devices, platform::VER_PLATFORM_LINUX), (std::vector<int>{0, 1}));
}

TEST_F(EmulatorTest, DeviceDirectoryThatCannotBeMade) {
  WriteFile(temp.Path() + "/file", "x");
  Emulator emulator({"--device-dir", temp.Path() + "/file/dev", "--rpc-dir", rpc, "--http-port", "0"});
  EXPECT_EQ(emulator.Wait(), 1);
  EXPECT_NE(emulator.Output().find("cannot create the device directory"), std::string::npos)
      << emulator.Output();
}

TEST_F(EmulatorTest, HelpIsNotAnError) {
  Emulator emulator({"--help"});
  EXPECT_EQ(emulator.Wait(), 0);
}

TEST_F(EmulatorTest, BadOptions) {
  {
    Emulator emulator({"--colour", "red"});
    EXPECT_EQ(emulator.Wait(), 2);
    EXPECT_NE(emulator.Output().find("unknown option --colour"), std::string::npos) << emulator.Output();
  }
  {
    Emulator emulator({"--world"});
    EXPECT_EQ(emulator.Wait(), 2);
    EXPECT_NE(emulator.Output().find("--world needs a value"), std::string::npos) << emulator.Output();
  }
}

}  // namespace
}  // namespace kivo
