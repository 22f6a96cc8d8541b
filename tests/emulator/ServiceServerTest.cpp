// The emulated service as the utility's service link sees it: words per
// controller, the overflow word, big-endian answers, stop and restart, the
// call count; and the emulator program ending cleanly on procedure 1.
#include "emulator/posix/ServiceServer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/ControlServer.h"
#include "emulator/WorldEvents.h"
#include "monitor/ServiceLink.h"

extern char** environ;

namespace kivo::test {
namespace {

using namespace kivo::emulator;

std::string MakeTempDir() {
  char pattern[] = "/tmp/kivo-svc-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "";
}

class ServiceServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    BuildDefaultWorld(world_);
  }
  void TearDown() override {
    service_.Stop();
    std::filesystem::remove_all(dir_);
  }
  void Start() {
    std::string error;
    ASSERT_TRUE(service_.Start(&error)) << error;
  }
  void Queue(int controller, std::uint8_t code, std::uint8_t unit) {
    std::lock_guard<std::mutex> lock(world_.mutex);
    std::string error;
    ASSERT_TRUE(QueueNotification(world_, controller, code, unit, &error)) << error;
  }
  std::uint64_t ServiceCalls() {
    std::lock_guard<std::mutex> lock(world_.mutex);
    return world_.serviceCalls;
  }

  std::string dir_ = MakeTempDir();
  std::string rpcDir_ = dir_ + "/ncalrpc";
  World world_;
  ServiceServer service_{world_, rpcDir_};
};

TEST_F(ServiceServerTest, AnswersTheNextWordOfEachController) {
  Start();
  Queue(0, 9, 1);
  Queue(1, 2, 0);
  ServiceLink link(rpcDir_);
  std::uint16_t word = 0xAAAA;
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0x0109);
  ASSERT_EQ(link.FetchNotification(1, &word), 0u);
  EXPECT_EQ(word, 0x0002);
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0);
  // No such controller: nothing queued. An id beyond 16 bits reaches the
  // service cut, so 65536 asks for controller 0.
  ASSERT_EQ(link.FetchNotification(9, &word), 0u);
  EXPECT_EQ(word, 0);
  Queue(0, 11, 0);
  ASSERT_EQ(link.FetchNotification(65536, &word), 0u);
  EXPECT_EQ(word, 0x000B);
  EXPECT_EQ(ServiceCalls(), 5u);
}

TEST_F(ServiceServerTest, OverflowAnswers255ThenTheQueue) {
  Start();
  for (int i = 0; i < 65; ++i) Queue(0, 10, 2);
  ServiceLink link(rpcDir_);
  std::uint16_t word = 0;
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 255);
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0x020A);
}

TEST_F(ServiceServerTest, BigEndianAnswersReadRight) {
  service_.SetDataRepresentation(platform::kBigEndianDataRep);
  Start();
  Queue(0, 15, 3);
  ServiceLink link(rpcDir_);
  std::uint16_t word = 0;
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0x030F);
}

TEST_F(ServiceServerTest, StoppedServiceFailsCallsAndKeepsTheQueue) {
  Start();
  Queue(0, 5, 0);
  service_.Stop();
  EXPECT_FALSE(service_.Running());
  EXPECT_FALSE(std::filesystem::exists(service_.EndpointPath()));
  ServiceLink link(rpcDir_);
  std::uint16_t word = 0xAAAA;
  EXPECT_EQ(link.FetchNotification(0, &word), platform::RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(word, 0xAAAA);
  Start();
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0x0005);
}

TEST_F(ServiceServerTest, ShutdownProcedureCallsTheHandlerAndIsAnswered) {
  std::atomic<int> shutdowns{0};
  service_.SetShutdownHandler([&shutdowns] { ++shutdowns; });
  Start();
  ServiceLink link(rpcDir_);
  link.ShutdownService();
  EXPECT_EQ(shutdowns.load(), 1);
  EXPECT_EQ(ServiceCalls(), 1u);
}

TEST_F(ServiceServerTest, SecondServiceOnTheSameEndpointIsRefused) {
  Start();
  ServiceServer second(world_, rpcDir_);
  std::string error;
  EXPECT_FALSE(second.Start(&error));
  EXPECT_NE(error.find("another server"), std::string::npos);
}

// The emulator program, started with its sockets in a temporary directory.
class EmulatorProcess {
 public:
  explicit EmulatorProcess(const std::string& dir) : rpcDir_(dir + "/rpc") {
    std::string program = std::string(std::getenv("KIVO_BINARY_DIR") ? std::getenv("KIVO_BINARY_DIR") : ".") +
                          "/emulator/zelka-emulator";
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::string deviceDir = dir + "/dev";
    // Any free port for the alarms page, so parallel tests never compete for one.
    std::vector<std::string> args = {program, "--device-dir", deviceDir, "--rpc-dir",
                                     rpcDir_, "--http-port",  "0"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    stderr_ = pipeFds[0];
  }
  ~EmulatorProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (stderr_ >= 0) close(stderr_);
  }

  // Reads standard error until `text` appears (true) or it ends or 10 s pass.
  bool WaitFor(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
      if (!ReadSome()) return false;
    }
    return true;
  }
  // Waits (at most 10 s) for the program to end; its exit status, or -1.
  int WaitForExit() {
    while (ReadSome()) {
    }
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& RpcDir() const { return rpcDir_; }
  bool Started() const { return pid_ > 0; }

 private:
  // One read of standard error; false at its end (the program ended) or after 10 s.
  bool ReadSome() {
    pollfd p{stderr_, POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return false;
    char buffer[256];
    ssize_t n = read(stderr_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  std::string rpcDir_;
  pid_t pid_ = -1;
  int stderr_ = -1;
  bool exited_ = false;
  std::string output_;
};

TEST_F(ServiceServerTest, ProgramEndsCleanlyOnProcedure1) {
  EmulatorProcess emulator(dir_);
  ASSERT_TRUE(emulator.Started());
  ASSERT_TRUE(emulator.WaitFor("zelka-emulator: ready"));
  EXPECT_TRUE(std::filesystem::exists(emulator.RpcDir() + "/KIVO"));
  EXPECT_TRUE(std::filesystem::exists(emulator.RpcDir() + "/zelka-control"));
  ServiceLink link(emulator.RpcDir());
  std::uint16_t word = 0xAAAA;
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0);
  // The control socket changes what the service hands out.
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunControlClient({"--rpc-dir", emulator.RpcDir(), "fail-drive", "0", "1"}, out, err), 0)
      << err.str();
  ASSERT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0x0002);
  out.str("");
  EXPECT_EQ(RunControlClient({"--rpc-dir", emulator.RpcDir(), "calls"}, out, err), 0) << err.str();
  EXPECT_EQ(out.str(), "device calls: 0\nrpc calls: 2\n");
  link.ShutdownService();
  EXPECT_EQ(emulator.WaitForExit(), 0);
  EXPECT_FALSE(std::filesystem::exists(emulator.RpcDir() + "/KIVO"));
  EXPECT_FALSE(std::filesystem::exists(emulator.RpcDir() + "/zelka-control"));
  EXPECT_NE(link.FetchNotification(0, &word), 0u);
}

}  // namespace
}  // namespace kivo::test
