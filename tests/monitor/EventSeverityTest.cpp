// Event severities: the catalogue's kinds, the recognition of every
// catalogue line, monitoring errors and unknown messages, and the split of a
// text into whole entries.
#include "monitor/EventSeverity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/EventCatalogue.h"
#include "support/FakeClock.h"

namespace kivo::test {
namespace {

constexpr char kErrorLine[] =
    "TIME: Sun Sep 09 01:46:40 2001 MESSAGE: Error retrieving notification from controller 0. System "
    "resources "
    "may be limited.  Check the service control manager to ensure the Kivo service is running. "
    "(e003,6)\r\n\r\n";

TEST(EventSeverityTest, FollowsTheCataloguesKinds) {
  const struct {
    unsigned code;
    EventSeverity severity;
  } cases[] = {
      {2, EventSeverity::Error},        {6, EventSeverity::Error},     {10, EventSeverity::Error},
      {13, EventSeverity::Error},       {9, EventSeverity::Warning},   {11, EventSeverity::Warning},
      {41, EventSeverity::Warning},     {255, EventSeverity::Warning}, {5, EventSeverity::Information},
      {43, EventSeverity::Information}, {14, EventSeverity::Error},    {200, EventSeverity::Error},
  };
  for (const auto& c : cases) EXPECT_EQ(SeverityOfEvent(c.code), c.severity) << "code " << c.code;
}

TEST(EventSeverityTest, EveryCatalogueLineIsKnownByItsCode) {
  FakeClock clock;
  for (unsigned code = 0; code <= 255; ++code) {
    for (const auto& [unit, controller] : {std::pair{0u, 0}, std::pair{255u, 11}}) {
      const EventLineKind kind = ClassifyEventLine(DescribeEvent(clock, code, unit, controller));
      EXPECT_EQ(kind.eventId, code);
      EXPECT_EQ(kind.severity, SeverityOfEvent(code)) << "code " << code;
    }
  }
}

TEST(EventSeverityTest, MonitoringErrorsAndUnknownMessages) {
  const struct {
    std::string line;
    unsigned eventId;
    EventSeverity severity;
  } cases[] = {
      {kErrorLine, kMonitoringErrorEventId, EventSeverity::Error},
      {"TIME: Sun Sep 09 01:46:40 2001 MESSAGE: Event 5 received\r\n", kUnknownMessageEventId,
       EventSeverity::Warning},
      {"TIME: Sun Sep 09 01:46:40 2001 MESSAGE: Event -3 received\r\n", kUnknownMessageEventId,
       EventSeverity::Warning},
      {"not a line at all", kMonitoringErrorEventId, EventSeverity::Error},
  };
  for (const auto& c : cases) {
    const EventLineKind kind = ClassifyEventLine(c.line);
    EXPECT_EQ(kind.eventId, c.eventId) << c.line;
    EXPECT_EQ(kind.severity, c.severity) << c.line;
  }
}

TEST(EventSeverityTest, SplitsATextIntoWholeEntries) {
  FakeClock clock;
  const std::vector<std::string> entries = {DescribeEvent(clock, 2, 1, 0), DescribeEvent(clock, 14, 0, 0),
                                            kErrorLine, DescribeEvent(clock, 5, 1, 0)};
  std::string text;
  for (const std::string& entry : entries) text += entry;
  EXPECT_EQ(SplitEventLines(text), entries);
  EXPECT_TRUE(SplitEventLines("").empty());
}

}  // namespace
}  // namespace kivo::test
