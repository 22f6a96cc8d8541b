// The notifications' texts and decisions without a bus: urgency by the event
// catalogue's severities, the body, the actions, the sound, the markup.
#include "shell/DesktopNotice.h"

#include <gtest/gtest.h>

#include "monitor/EventCatalogue.h"
#include "support/FakeClock.h"

namespace kivo::test {
namespace {

TEST(DesktopNoticeTest, UrgencyFollowsTheCataloguesSeverities) {
  FakeClock clock(true);
  using U = DesktopNotice::Urgency;
  struct Case {
    std::string text;
    U urgency;
  } const cases[] = {
      {DescribeEvent(clock, 2, 0, 4), U::kCritical},   // degraded
      {DescribeEvent(clock, 10, 3, 4), U::kCritical},  // drive error
      {DescribeEvent(clock, 20, 0, 4), U::kCritical},  // unknown to the catalogue
      {DescribeEvent(clock, 9, 1, 4), U::kNormal},     // drive timeout
      {DescribeEvent(clock, 11, 0, 4), U::kNormal},    // rebuild started
      {DescribeEvent(clock, 5, 0, 4), U::kNormal},     // rebuild complete: never hidden as low
      {"TIME: Tue Dec 08 06:01:02 2026 MESSAGE: Event 70000 received\r\n", U::kNormal},
      {"TIME: Tue Dec 08 06:01:02 2026 MESSAGE: The service cannot be reached (6ba)\r\n", U::kCritical},
      // A batch is as grave as its gravest entry.
      {DescribeEvent(clock, 9, 1, 4) + DescribeEvent(clock, 10, 1, 4), U::kCritical},
  };
  for (const Case& c : cases) {
    const DesktopNotice notice = AlarmNotice(c.text, false);
    EXPECT_EQ(notice.urgency, c.urgency) << c.text;
    EXPECT_EQ(notice.category, c.urgency == U::kCritical ? "device.error" : "device") << c.text;
  }
}

TEST(DesktopNoticeTest, TheBodyIsTheAlertsTextInLines) {
  const DesktopNotice notice = AlarmNotice(
      "TIME: Tue Dec 08 06:01:02 2026 MESSAGE: first\r\nsecond line\r\n\r\nTIME: Tue Dec 08 06:01:03 2026 "
      "MESSAGE: third\r\n",
      false);
  EXPECT_EQ(notice.body,
            "TIME: Tue Dec 08 06:01:02 2026 MESSAGE: first\nsecond line\n\nTIME: Tue Dec 08 06:01:03 2026 "
            "MESSAGE: third");
  EXPECT_EQ(notice.summary, "Kivo - Event Notification Message");
  EXPECT_EQ(notice.expireMs, 0) << "an alarm stays until acknowledged";
  const std::vector<std::pair<std::string, std::string>> actions = {
      {"default", "Show"}, {"ok", "OK"}, {"show", "Show"}};
  EXPECT_EQ(notice.actions, actions);
  EXPECT_FALSE(notice.desktopSound);
  EXPECT_TRUE(AlarmNotice("TIME: x MESSAGE: y\r\n", true).desktopSound);
}

TEST(DesktopNoticeTest, MarkupCharactersAreEscapedAndNothingElse) {
  EXPECT_EQ(EscapeNoticeMarkup("unit <1> & \"2\" 'x'"), "unit &lt;1&gt; &amp; \"2\" 'x'");
  EXPECT_EQ(EscapeNoticeMarkup(""), "");
}

TEST(DesktopNoticeTest, TheWatchingNoteSaysHowToOpenTheUtility) {
  const DesktopNotice notice = WatchingNotice();
  EXPECT_EQ(notice.kind, DesktopNotice::Kind::kWatching);
  EXPECT_EQ(notice.summary, "Kivo Disk Management Utility");
  EXPECT_EQ(
      notice.body,
      "Kivo Disk Management Utility is watching the Zelka controllers. This desktop has no notification "
      "area: to open the utility's window, choose Kivo Disk Management Utility in the applications menu, "
      "or run kivo -max.");
  EXPECT_EQ(notice.urgency, DesktopNotice::Urgency::kNormal);
}

}  // namespace
}  // namespace kivo::test
