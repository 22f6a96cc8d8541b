// The emulated controllers' notification queues and the drive failure and
// rebuild steps, checked on the world and through the device side as the
// utility's controller channel reads it back.
#include "emulator/WorldEvents.h"

#include <gtest/gtest.h>

#include <memory>

#include "controller/ControllerSet.h"
#include "emulator/InProcessDeviceIo.h"
#include "platform/HostFacts.h"

namespace kivo::test {
namespace {

using namespace kivo::emulator;

class WorldEventsTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildDefaultWorld(world_); }

  // Unit status byte and not-in-service map as the device side answers them.
  void ReadUnit(int controllerId, int unit, std::uint8_t* status, std::uint8_t* notInService) {
    InProcessDeviceIo device(world_);
    std::unique_ptr<platform::HostFacts> host = platform::MakeSystemHostFacts();
    platform::PlatformContext context;
    context.device = &device;
    context.host = host.get();
    ControllerSet set(context);
    ASSERT_EQ(set.Open(controllerId), 0);
    auto table = static_cast<std::uint16_t>(0x300 + unit);
    ASSERT_EQ(set.GetParameter(table, 3, 1, status), 0);
    std::uint8_t descriptor[4] = {};
    ASSERT_EQ(set.GetParameter(table, 6, 4, descriptor), 0);
    *notInService = descriptor[3];
    set.Close();
  }

  World world_;
  std::string message_;
};

TEST_F(WorldEventsTest, QueueAnswersInOrderThenZero) {
  ASSERT_TRUE(QueueNotification(world_, 0, 9, 1, &message_));
  ASSERT_TRUE(QueueNotification(world_, 0, 36, 0, &message_));
  ASSERT_TRUE(QueueNotification(world_, 1, 2, 255, &message_));
  EXPECT_EQ(NextNotification(world_, 0), 0x0109);
  EXPECT_EQ(NextNotification(world_, 1), 0xFF02);
  EXPECT_EQ(NextNotification(world_, 0), 0x0024);
  EXPECT_EQ(NextNotification(world_, 0), 0);
  EXPECT_EQ(NextNotification(world_, 1), 0);
}

TEST_F(WorldEventsTest, UnknownControllerHasNoQueue) {
  EXPECT_FALSE(QueueNotification(world_, 7, 9, 1, &message_));
  EXPECT_EQ(message_, "no controller with id 7");
  EXPECT_EQ(NextNotification(world_, 7), 0);
  EXPECT_EQ(NextNotification(world_, -1), 0);
}

TEST_F(WorldEventsTest, OverflowIsReportedOnceThenTheQueueContinues) {
  for (int i = 0; i < 70; ++i) {
    ASSERT_TRUE(QueueNotification(world_, 0, static_cast<std::uint8_t>(1 + i % 40), 0, &message_));
  }
  EXPECT_EQ(NextNotification(world_, 0), kQueueFullWord);
  // The 64 kept are the oldest; the six beyond the limit were dropped.
  for (int i = 0; i < 64; ++i) ASSERT_EQ(NextNotification(world_, 0), 1 + i % 40) << i;
  EXPECT_EQ(NextNotification(world_, 0), 0);
  // A new overflow is reported again.
  for (int i = 0; i < 65; ++i) QueueNotification(world_, 0, 3, 0, &message_);
  EXPECT_EQ(NextNotification(world_, 0), kQueueFullWord);
  EXPECT_EQ(NextNotification(world_, 0), 3);
}

// A series on virtual time: each word joins the queue at its own time, as
// if queued then, so a reader between two times sees only the earlier ones,
// and a queue left unread overflows as it would have.
TEST_F(WorldEventsTest, SeriesWordsArriveAtTheirTimes) {
  using std::chrono::milliseconds;
  const EventTime t0{};
  ASSERT_TRUE(QueueNotificationSeries(world_, 0, 9, 3, milliseconds(100), &message_, t0));
  EXPECT_EQ(NextNotification(world_, 0, t0), 0x0009);
  EXPECT_EQ(NextNotification(world_, 0, t0 + milliseconds(99)), 0);
  ASSERT_TRUE(QueueNotification(world_, 0, 36, 0, &message_, t0 + milliseconds(150)));
  // The aen at 150 ms came after the second word of the series (100 ms).
  EXPECT_EQ(NextNotification(world_, 0, t0 + milliseconds(150)), 0x0109);
  EXPECT_EQ(NextNotification(world_, 0, t0 + milliseconds(150)), 0x0024);
  EXPECT_EQ(NextNotification(world_, 0, t0 + milliseconds(150)), 0);
  EXPECT_EQ(NextNotification(world_, 0, t0 + milliseconds(200)), 0x0209);
  EXPECT_TRUE(world_.controllers[0].scheduled.empty());

  // 300 words a millisecond apart on controller 1, read once after all of
  // them: the queue kept the first 64, then reports the overflow; the
  // units count on past 255 from 0.
  ASSERT_TRUE(QueueNotificationSeries(world_, 1, 2, 300, milliseconds(1), &message_, t0));
  EXPECT_EQ(NextNotification(world_, 1, t0 + milliseconds(299)), kQueueFullWord);
  for (int unit = 0; unit < 64; ++unit)
    ASSERT_EQ(NextNotification(world_, 1, t0 + milliseconds(299)), unit << 8 | 2);
  EXPECT_EQ(NextNotification(world_, 1, t0 + milliseconds(299)), 0);
  ASSERT_TRUE(QueueNotificationSeries(world_, 1, 2, 260, milliseconds(0), &message_, t0));
  EXPECT_EQ(NextNotification(world_, 1, t0), kQueueFullWord);

  EXPECT_FALSE(QueueNotificationSeries(world_, 7, 9, 1, milliseconds(0), &message_, t0));
  EXPECT_EQ(message_, "no controller with id 7");
}

struct FailCase {
  int controller;
  int port;
  int unit;
  std::uint8_t notInService;  // map after the failure
};

TEST_F(WorldEventsTest, FailedDriveDegradesItsUnit) {
  // RAID 5 on ports 0-2 of controller 0; RAID 10 on ports 0-3 of controller 1,
  // two drives per subunit: the map bit is the index plus twice the subunit.
  const FailCase cases[] = {
      {0, 0, 0, 0x01}, {0, 2, 0, 0x04}, {1, 1, 0, 0x02}, {1, 2, 0, 0x04}, {1, 3, 0, 0x08}};
  for (const FailCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.controller) + "/" + std::to_string(c.port));
    World world;
    BuildDefaultWorld(world);
    ASSERT_TRUE(FailDrive(world, c.controller, c.port, &message_)) << message_;
    const Unit* unit = world.FindController(c.controller)->FindUnit(c.unit);
    EXPECT_EQ(unit->status, kStatusDegraded);
    EXPECT_EQ(unit->notInService, c.notInService);
    EXPECT_EQ(NextNotification(world, c.controller), 0x0002 | (c.unit << 8));
  }
}

TEST_F(WorldEventsTest, RaidTenSubunitOfTheDriveDegrades) {
  ASSERT_TRUE(FailDrive(world_, 1, 2, &message_));
  const Unit* unit = world_.FindController(1)->FindUnit(0);
  EXPECT_EQ(unit->subunits[0].status, kStatusHealthy);
  EXPECT_EQ(unit->subunits[1].status, kStatusDegraded);
  ASSERT_TRUE(StartRebuild(world_, 1, 0, &message_));
  EXPECT_EQ(unit->subunits[1].status, kStatusRebuilding);
  ASSERT_TRUE(FinishRebuild(world_, 1, 0, &message_));
  EXPECT_EQ(unit->subunits[1].status, kStatusHealthy);
}

TEST_F(WorldEventsTest, DrivesOutsideAnArrayCannotFail) {
  EXPECT_FALSE(FailDrive(world_, 0, 3, &message_));  // the hot spare
  EXPECT_EQ(message_, "port 3 of controller 0 is not a member of an array");
  EXPECT_FALSE(FailDrive(world_, 0, 9, &message_));  // no drive there
  EXPECT_FALSE(FailDrive(world_, 4, 0, &message_));
  EXPECT_EQ(message_, "no controller with id 4");
  EXPECT_EQ(NextNotification(world_, 0), 0);  // nothing was queued
}

TEST_F(WorldEventsTest, RebuildNeedsAnArrayUnit) {
  EXPECT_FALSE(StartRebuild(world_, 0, 1, &message_));
  EXPECT_EQ(message_, "unit 1 of controller 0 is a single drive, not an array");
  EXPECT_FALSE(FinishRebuild(world_, 0, 5, &message_));
  EXPECT_EQ(message_, "controller 0 has no unit 5");
  EXPECT_FALSE(StartRebuild(world_, 3, 0, &message_));
  EXPECT_EQ(NextNotification(world_, 0), 0);
}

TEST_F(WorldEventsTest, DeviceSideAnswersWithTheChangedUnit) {
  std::uint8_t status = 0;
  std::uint8_t map = 0xAA;
  ReadUnit(0, 0, &status, &map);
  EXPECT_EQ(status, 0xFF);
  EXPECT_EQ(map, 0);

  ASSERT_TRUE(FailDrive(world_, 0, 1, &message_));
  ReadUnit(0, 0, &status, &map);
  EXPECT_EQ(status, 0xE3);  // "Degraded"
  EXPECT_EQ(map, 0x02);     // port 1 "Not in Service"

  ASSERT_TRUE(StartRebuild(world_, 0, 0, &message_));
  ReadUnit(0, 0, &status, &map);
  EXPECT_EQ(status, 0xD3);  // "Rebuilding"
  EXPECT_EQ(map, 0x02);

  ASSERT_TRUE(FinishRebuild(world_, 0, 0, &message_));
  ReadUnit(0, 0, &status, &map);
  EXPECT_EQ(status, 0xFF);
  EXPECT_EQ(map, 0);

  EXPECT_EQ(NextNotification(world_, 0), 0x0002);
  EXPECT_EQ(NextNotification(world_, 0), 0x000B);
  EXPECT_EQ(NextNotification(world_, 0), 0x0005);
  EXPECT_EQ(NextNotification(world_, 0), 0);
}

}  // namespace
}  // namespace kivo::test
