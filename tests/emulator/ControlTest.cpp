// The ctl commands: argument checking, their effect on the world and the
// service, and the control socket with the ctl client in front of it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "emulator/ControlCommand.h"
#include "emulator/ControlServer.h"
#include "emulator/WorldEvents.h"
#include "emulator/posix/ServiceServer.h"
#include "monitor/ServiceLink.h"

namespace kivo::test {
namespace {

using namespace kivo::emulator;

std::string MakeTempDir() {
  char pattern[] = "/tmp/kivo-ctl-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "";
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.empty());
    BuildDefaultWorld(world_);
  }
  void TearDown() override {
    service_.Stop();
    std::filesystem::remove_all(dir_);
  }
  ControlReply Run(const std::string& line) { return RunControlCommand(world_, &service_, Words(line)); }
  std::uint16_t Next(int controller) {
    std::lock_guard<std::mutex> lock(world_.mutex);
    return NextNotification(world_, controller);
  }

  std::string dir_ = MakeTempDir();
  World world_;
  ServiceServer service_{world_, dir_};
};

struct BadCommand {
  const char* line;
  const char* error;  // the reply's text
};

TEST_F(ControlTest, BadCommandsAreRefusedWithTheReason) {
  const BadCommand cases[] = {
      {"aen", "wrong number of arguments for aen; usage: aen CONTROLLER CODE [UNIT]\n"},
      {"aen 0", "wrong number of arguments for aen; usage: aen CONTROLLER CODE [UNIT]\n"},
      {"aen 0 9 1 2", "wrong number of arguments for aen; usage: aen CONTROLLER CODE [UNIT]\n"},
      {"aen 0 0", "CODE must be a number from 1 to 255, not '0'\n"},
      {"aen 0 256", "CODE must be a number from 1 to 255, not '256'\n"},
      {"aen 0 9x", "CODE must be a number from 1 to 255, not '9x'\n"},
      {"aen 0 0x", "CODE must be a number from 1 to 255, not '0x'\n"},
      {"aen -1 9", "CONTROLLER must be a number from 0 to 11, not '-1'\n"},
      {"aen 12 9", "CONTROLLER must be a number from 0 to 11, not '12'\n"},
      {"aen 0 9 256", "UNIT must be a number from 0 to 255, not '256'\n"},
      {"aen 5 9", "no controller with id 5\n"},
      {"aen-series 0 9",
       "wrong number of arguments for aen-series; usage: aen-series CONTROLLER CODE COUNT [INTERVAL_MS]\n"},
      {"aen-series 0 9 0", "COUNT must be a number from 1 to 100000, not '0'\n"},
      {"aen-series 0 9 100001", "COUNT must be a number from 1 to 100000, not '100001'\n"},
      {"aen-series 0 9 5 -1", "INTERVAL_MS must be a number from 0 to 3600000, not '-1'\n"},
      {"aen-series 5 9 5", "no controller with id 5\n"},
      {"fail-drive 0", "wrong number of arguments for fail-drive; usage: fail-drive CONTROLLER PORT\n"},
      {"fail-drive 0 255", "PORT must be a number from 0 to 254, not '255'\n"},
      {"fail-drive 1 4", "port 4 of controller 1 is not a member of an array\n"},
      {"rebuild-start 0 16", "UNIT must be a number from 0 to 15, not '16'\n"},
      {"rebuild-finish 0 3", "controller 0 has no unit 3\n"},
      {"calls now", "wrong number of arguments for calls; usage: calls\n"},
      {"service-stop 1", "wrong number of arguments for service-stop; usage: service-stop\n"},
  };
  for (const BadCommand& c : cases) {
    ControlReply reply = Run(c.line);
    EXPECT_FALSE(reply.ok) << c.line;
    EXPECT_EQ(reply.text, c.error) << c.line;
  }
  EXPECT_EQ(Next(0), 0);  // none of them queued anything
  ControlReply unknown = Run("explode 0");
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.text.rfind("unknown command 'explode'\nusage: zelka-emulator ctl", 0), 0u);
  EXPECT_FALSE(RunControlCommand(world_, &service_, {}).ok);
  EXPECT_FALSE(RunControlCommand(world_, nullptr, {"service-stop"}).ok);
}

TEST_F(ControlTest, AenQueuesAnyCodeWithItsUnit) {
  ControlReply reply = Run("aen 1 0x2F 3");
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.text, "AEN 47 with unit 3 queued on controller 1\n");
  ASSERT_TRUE(Run("aen 1 255").ok);
  EXPECT_EQ(Next(1), 0x032F);
  EXPECT_EQ(Next(1), 0x00FF);
}

TEST_F(ControlTest, AenSeriesQueuesABurstOrRaisesAtARate) {
  ControlReply burst = Run("aen-series 1 9 3");
  ASSERT_TRUE(burst.ok);
  EXPECT_EQ(burst.text, "3 x AEN 9 on controller 1, units numbered from 0, queued at once\n");
  EXPECT_EQ(Next(1), 0x0009);
  EXPECT_EQ(Next(1), 0x0109);
  EXPECT_EQ(Next(1), 0x0209);
  EXPECT_EQ(Next(1), 0);

  // An hour apart: the first at once, the second not within this test.
  ControlReply series = Run("aen-series 0 0x21 2 3600000");
  ASSERT_TRUE(series.ok);
  EXPECT_EQ(series.text,
            "2 x AEN 33 on controller 0, units numbered from 0, one every 3600000 ms from now\n");
  EXPECT_EQ(Next(0), 0x0021);
  EXPECT_EQ(Next(0), 0);
}

TEST_F(ControlTest, DriveFailureAndRebuildChangeTheUnitAndQueueTheirAens) {
  ControlReply failed = Run("fail-drive 0 2");
  ASSERT_TRUE(failed.ok);
  EXPECT_EQ(failed.text, "controller 0 unit 0 degraded, port 2 not in service; AEN 2 queued\n");
  EXPECT_EQ(world_.FindController(0)->FindUnit(0)->status, 0xE3);
  EXPECT_EQ(world_.FindController(0)->FindUnit(0)->notInService, 0x04);
  ASSERT_TRUE(Run("rebuild-start 0 0").ok);
  EXPECT_EQ(world_.FindController(0)->FindUnit(0)->status, 0xD3);
  ASSERT_TRUE(Run("rebuild-finish 0 0").ok);
  EXPECT_EQ(world_.FindController(0)->FindUnit(0)->status, 0xFF);
  EXPECT_EQ(world_.FindController(0)->FindUnit(0)->notInService, 0);
  EXPECT_EQ(Next(0), 0x0002);
  EXPECT_EQ(Next(0), 0x000B);
  EXPECT_EQ(Next(0), 0x0005);
}

TEST_F(ControlTest, ServiceStopAndStartTurnTheEndpointOffAndOn) {
  std::string error;
  ASSERT_TRUE(service_.Start(&error)) << error;
  ServiceLink link(dir_);
  std::uint16_t word = 0xAAAA;
  ASSERT_EQ(Run("service-stop").text, "service stopped\n");
  EXPECT_EQ(Run("service-stop").text, "service was not running\n");
  EXPECT_EQ(link.FetchNotification(0, &word), platform::RPC_S_SERVER_UNAVAILABLE);
  ASSERT_EQ(Run("service-start").text, "service started\n");
  EXPECT_EQ(Run("service-start").text, "service was already running\n");
  EXPECT_EQ(link.FetchNotification(0, &word), 0u);
  EXPECT_EQ(word, 0);
  EXPECT_EQ(Run("calls").text, "device calls: 0\nrpc calls: 1\n");
}

TEST_F(ControlTest, CtlClientTalksToTheControlSocket) {
  ControlServer control(world_, &service_);
  std::string error;
  ASSERT_TRUE(control.Start(dir_, &error)) << error;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunControlClient({"--rpc-dir", dir_, "aen", "0", "9", "1"}, out, err), 0);
  EXPECT_EQ(out.str(), "AEN 9 with unit 1 queued on controller 0\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(Next(0), 0x0109);

  out.str("");
  EXPECT_EQ(RunControlClient({"--rpc-dir", dir_, "aen", "7", "9"}, out, err), 1);
  EXPECT_EQ(err.str(), "zelka-emulator ctl: no controller with id 7\n");
  EXPECT_EQ(out.str(), "");

  // A second control server on the same directory is refused.
  ControlServer second(world_, &service_);
  EXPECT_FALSE(second.Start(dir_, &error));

  control.Stop();
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/zelka-control"));
  err.str("");
  EXPECT_EQ(RunControlClient({"--rpc-dir", dir_, "calls"}, out, err), 2);
  EXPECT_EQ(err.str(), "zelka-emulator ctl: no emulator answers at " + dir_ + "/zelka-control\n");
}

TEST_F(ControlTest, CtlClientRefusesBadUsage) {
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunControlClient({}, out, err), 2);
  EXPECT_EQ(RunControlClient({"--rpc-dir"}, out, err), 2);
  EXPECT_EQ(RunControlClient({"--rpc-dir", dir_, "aen", "0 9"}, out, err), 2);
  EXPECT_EQ(RunControlClient({"--help"}, out, err), 0);
  EXPECT_EQ(out.str(), ControlUsage());
}

}  // namespace
}  // namespace kivo::test
