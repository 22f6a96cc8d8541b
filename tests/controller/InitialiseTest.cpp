// The controller list: which ports count as controllers, in which order, and
// that Initialise neither keeps old entries nor leaves a device open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/ControllerSet.h"
#include "emulator/InProcessDeviceIo.h"
#include "emulator/WorldFile.h"
#include "platform/HostFacts.h"
#include "support/FakeClock.h"
#include "support/HostDoubles.h"

namespace kivo {
namespace {

using FixedHost = test::FakeHostFacts;

class InitialiseTest : public ::testing::Test {
 protected:
  void Load(const std::string& json) {
    std::string error;
    ASSERT_TRUE(emulator::LoadWorldText(json, "test.json", world, &error)) << error;
  }
  platform::PlatformContext Context(platform::HostFacts& facts) {
    platform::PlatformContext context;
    context.clock = &clock;
    context.host = &facts;
    context.device = &io;
    return context;
  }
  static std::vector<int> Ids(const ControllerSet& set) {
    std::vector<int> ids;
    for (int i = 0; i < set.ControllerCount(); ++i) ids.push_back(set.ControllerIdAt(i));
    return ids;
  }

  emulator::World world;
  emulator::InProcessDeviceIo io{world};
  test::FakeClock clock;
  FixedHost ntHost{platform::VER_PLATFORM_WIN32_NT};
  FixedHost windows98Host{platform::VER_PLATFORM_WIN32_WINDOWS};
};

TEST_F(InitialiseTest, ControllersOnPorts1And4) {
  Load(R"({"controllers": [{"port": 4}, {"port": 1}]})");
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Initialise(), 0);
  EXPECT_EQ(set.ControllerCount(), 2);
  EXPECT_EQ(set.ControllerIdAt(0), 1);
  EXPECT_EQ(set.ControllerIdAt(1), 4);
  EXPECT_EQ(set.ControllerIdAt(2), -1);
  EXPECT_EQ(set.ControllerIdAt(-1), -1);
  EXPECT_FALSE(set.IsOpen());
  EXPECT_EQ(io.OpenHandles(), 0);
}

TEST_F(InitialiseTest, EachPresentPortIsOpenedIdentifiedQueriedAndClosed) {
  Load(R"({"controllers": [{"port": 1}, {"port": 4}]})");
  ControllerSet set(Context(ntHost));
  set.Initialise();
  // Two identify requests per controller: the one of Open, then the driver query.
  ASSERT_EQ(world.received.size(), 4u);
  EXPECT_EQ(world.received[0].device, "Scsi1:");
  EXPECT_EQ(world.received[0].input[32 + 2], 1);
  EXPECT_EQ(world.received[1].device, "Scsi1:");
  EXPECT_EQ(world.received[1].input[32 + 2], 0);
  EXPECT_EQ(world.received[2].device, "Scsi4:");
  EXPECT_EQ(world.received[3].device, "Scsi4:");
}

TEST_F(InitialiseTest, NoControllersGivesAnEmptyList) {
  Load(R"({"controllers": []})");
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Initialise(), 0);
  EXPECT_EQ(set.ControllerCount(), 0);
  EXPECT_EQ(set.ControllerIdAt(0), -1);
}

TEST_F(InitialiseTest, PortWhoseDriverQueryFailsIsLeftOutAndClosed) {
  Load(R"({"controllers": [{"port": 0}, {"port": 2, "faults": {"queryDriverError": 31}}, {"port": 3}]})");
  ControllerSet set(Context(ntHost));
  set.Initialise();
  EXPECT_EQ(Ids(set), (std::vector<int>{0, 3}));
  EXPECT_EQ(io.OpenHandles(), 0);
}

TEST_F(InitialiseTest, PortsThatDoNotOpenOrIdentifyAreLeftOut) {
  Load(
      R"({"controllers": [{"port": 0, "faults": {"openError": 5}}, {"port": 5, "faults": {"openIdentifyError": 21}},
           {"port": 11}]})");
  ControllerSet set(Context(ntHost));
  set.Initialise();
  EXPECT_EQ(Ids(set), (std::vector<int>{11}));
  EXPECT_EQ(io.OpenHandles(), 0);
}

TEST_F(InitialiseTest, TwelvePortsGiveTwelveControllers) {
  std::string json = R"({"controllers": [)";
  for (int port = 0; port < 12; ++port)
    json += (port ? ", " : "") + std::string("{\"port\": ") + std::to_string(port) + "}";
  Load(json + "]}");
  ControllerSet set(Context(ntHost));
  set.Initialise();
  EXPECT_EQ(Ids(set), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(InitialiseTest, RunningTwiceGivesTheSameListAndKeepsNothingOld) {
  Load(R"({"controllers": [{"port": 1}, {"port": 4}]})");
  ControllerSet set(Context(ntHost));
  set.Initialise();
  const std::vector<int> first = Ids(set);
  set.Initialise();
  EXPECT_EQ(Ids(set), first);
  Load(R"({"controllers": [{"port": 6}]})");
  set.Initialise();
  EXPECT_EQ(Ids(set), (std::vector<int>{6}));
  EXPECT_EQ(set.ControllerIdAt(1), -1);
}

TEST_F(InitialiseTest, VirtualDeviceServingTwoGivesIds0And1) {
  Load(R"({"family": "virtual", "virtualDevice": {"version": "VSD 4.07", "controllers": 2},
           "controllers": [{"port": 0}, {"port": 1}]})");
  ControllerSet set(Context(windows98Host));
  set.Initialise();
  EXPECT_EQ(Ids(set), (std::vector<int>{0, 1}));
  EXPECT_EQ(io.OpenHandles(), 0);
  // The same device was opened for every id; ids 2..11 ended at the handshake.
  int handshakes = 0;
  for (const auto& request : world.received) {
    EXPECT_EQ(request.device, "ZELKAVSD");
    if (request.controlCode == platform::VSD_HANDSHAKE_CODE) ++handshakes;
  }
  EXPECT_EQ(handshakes, 12);
}

TEST_F(InitialiseTest, DriverLevelIsThatOfTheLastPortOpened) {
  Load(R"({"controllers": [{"port": 1, "level": 3}, {"port": 4, "level": 6, "extra": 2}]})");
  ControllerSet set(Context(ntHost));
  set.Initialise();
  std::uint32_t level = 0, extra = 0;
  set.DriverLevel(&level, &extra);
  EXPECT_EQ(level, 6u);
  EXPECT_EQ(extra, 2u);
}

TEST_F(InitialiseTest, DefaultWorldHasControllers0And1) {
  emulator::BuildDefaultWorld(world);
  ControllerSet set(Context(ntHost));
  set.Initialise();
  EXPECT_EQ(Ids(set), (std::vector<int>{0, 1}));
}

}  // namespace
}  // namespace kivo
