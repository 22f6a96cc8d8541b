// The alerts as event log entries: one entry per whole line, its id and type
// from the line's kind, the line without its final line ends as the text.
#include "monitor/EventLogOutput.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordingEventLog.h"
#include "monitor/EventCatalogue.h"
#include "monitor/MonitorThread.h"
#include "platform/EventLog.h"
#include "support/FakeClock.h"

namespace kivo::test {
namespace {

using Type = platform::EventLogType;

std::string WithoutLineEnds(std::string line) {
  while (line.back() == '\n' || line.back() == '\r') line.pop_back();
  return line;
}

TEST(EventLogOutputTest, OneEntryPerLineWithItsIdAndType) {
  FakeClock clock;
  const std::string degraded = DescribeEvent(clock, 2, 1, 0);
  const std::string timeout = DescribeEvent(clock, 9, 1, 0);
  const std::string rebuilt = DescribeEvent(clock, 5, 1, 4);
  const std::string unknown = DescribeEvent(clock, 200, 0, 0);
  const std::string failure = "TIME: Sun Sep 09 01:46:40 2001 MESSAGE: " + FetchErrorText(0, 6) + "\r\n";
  RecordingEventLog log;
  EventLogOutput output(log);

  EXPECT_TRUE(output.Write(degraded + timeout));
  EXPECT_TRUE(output.Write(rebuilt));
  EXPECT_TRUE(output.Write(unknown));
  EXPECT_TRUE(output.Write(failure));

  const std::vector<Entry> expected = {
      {2, Type::Error, WithoutLineEnds(degraded)},      {9, Type::Warning, WithoutLineEnds(timeout)},
      {5, Type::Information, WithoutLineEnds(rebuilt)}, {200, Type::Error, WithoutLineEnds(unknown)},
      {1000, Type::Error, WithoutLineEnds(failure)},
  };
  EXPECT_EQ(log.entries, expected);
  // The degraded array's help stays inside its one entry.
  EXPECT_NE(log.entries[0].text.find("\r\n\r\n1. If a HOT SPARE"), std::string::npos);
}

TEST(EventLogOutputTest, ARefusedEntryIsReportedAndTheRestStillWritten) {
  FakeClock clock;
  RecordingEventLog log;
  log.refuse = 9;
  EventLogOutput output(log);

  EXPECT_FALSE(output.Write(DescribeEvent(clock, 9, 1, 0) + DescribeEvent(clock, 5, 1, 0)));
  ASSERT_EQ(log.entries.size(), 2u);
  EXPECT_EQ(log.entries[1].id, 5u);
}

}  // namespace
}  // namespace kivo::test
