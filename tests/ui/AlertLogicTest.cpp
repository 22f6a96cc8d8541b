// The alert window's decisions: text order, alarm state, tick results.
#include "shell/AlertLogic.h"

#include <gtest/gtest.h>

namespace kivo::test {
namespace {

TEST(AlertLogicTest, StartsQuietWithEmptyText) {
  AlertLogic logic;
  EXPECT_EQ(logic.AlarmStopped(), 1);
  EXPECT_EQ(logic.Message(), "");
  EXPECT_FALSE(logic.BeepTick());
  EXPECT_EQ(logic.FlashTick(), -1);
  EXPECT_EQ(logic.FlashOn(), 1) << "a quiet tick must not move the flash pattern";
}

TEST(AlertLogicTest, NewestLineGoesOnTopWithoutSeparator) {
  AlertLogic logic;
  logic.ShowAlert("TIME: a MESSAGE: first\r\n", 0);
  logic.ShowAlert("TIME: b MESSAGE: second\r\n", 0);
  EXPECT_EQ(logic.Message(), "TIME: b MESSAGE: second\r\nTIME: a MESSAGE: first\r\n");
  logic.ShowAlert("", 0);
  EXPECT_EQ(logic.Message(), "TIME: b MESSAGE: second\r\nTIME: a MESSAGE: first\r\n");
}

TEST(AlertLogicTest, FlashAlternatesAndContinuesAcrossAlerts) {
  AlertLogic logic;
  logic.ShowAlert("x\r\n", 0);
  EXPECT_EQ(logic.FlashTick(), 1);
  EXPECT_EQ(logic.FlashTick(), 0);
  EXPECT_EQ(logic.FlashTick(), 1);
  logic.Acknowledge();
  EXPECT_EQ(logic.FlashTick(), -1);
  logic.ShowAlert("y\r\n", 0);
  EXPECT_EQ(logic.FlashTick(), 0) << "the pattern goes on where it stood";
}

TEST(AlertLogicTest, BeepFollowsAlarmAndAudioSwitch) {
  struct Case {
    int audioOffFlag;
    bool acknowledged;
    bool beeps;
  };
  const Case cases[] = {{0, false, true}, {1, false, false}, {0, true, false}, {1, true, false}};
  for (const Case& c : cases) {
    AlertLogic logic;
    logic.ShowAlert("x\r\n", c.audioOffFlag);
    if (c.acknowledged) logic.Acknowledge();
    EXPECT_EQ(logic.BeepTick(), c.beeps) << c.audioOffFlag << " " << c.acknowledged;
  }
}

TEST(AlertLogicTest, EveryAlertCopiesTheAudioSwitchAnew) {
  AlertLogic logic;
  logic.ShowAlert("x\r\n", 1);
  EXPECT_EQ(logic.AudioOff(), 1);
  logic.ShowAlert("y\r\n", 0);
  EXPECT_EQ(logic.AudioOff(), 0);
  EXPECT_TRUE(logic.BeepTick());
}

TEST(AlertLogicTest, AlarmsPageAddress) {
  EXPECT_EQ(AlertLogic::AlarmsPageUrl(1080), "http://localhost:1080/alarms.html");
  EXPECT_EQ(AlertLogic::AlarmsPageUrl(8081), "http://localhost:8081/alarms.html");
}

}  // namespace
}  // namespace kivo::test
