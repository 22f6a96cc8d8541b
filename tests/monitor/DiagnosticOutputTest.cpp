// kivo-watch's diagnostics: on standard error with or without the journal's
// priorities, or as event log entries of their ids and types, a refused
// entry falling back to the stream; the first scan's boxes as diagnostics.
#include "monitor/DiagnosticOutput.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "RecordingEventLog.h"

namespace kivo::test {
namespace {

using Type = platform::EventLogType;

// What was written to a temporary stream.
class Stream {
 public:
  Stream() : file_(std::tmpfile()) {}
  ~Stream() {
    if (file_ != nullptr) std::fclose(file_);
  }
  std::FILE* File() { return file_; }
  std::string Text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) text.append(buffer, n);
    return text;
  }

 private:
  std::FILE* file_;
};

struct Diagnostic {
  EventSeverity severity;
  unsigned id;
  const char* text;
};
const Diagnostic kDiagnostics[] = {
    {EventSeverity::Information, kWatchStartedEventId, "monitoring 2 controller(s)"},
    {EventSeverity::Warning, kNoControllerEventId, "no Zelka controller found yet in /run/zelka; watching"},
    {EventSeverity::Error, kWatchFailureEventId, "first line\r\nsecond line"},
};

TEST(DiagnosticOutputTest, OnStandardErrorWithTheJournalsPriorities) {
  for (const bool journal : {false, true}) {
    Stream stream;
    ASSERT_NE(stream.File(), nullptr);
    DiagnosticOutput output(stream.File(), journal);
    for (const Diagnostic& d : kDiagnostics) output.Report(d.severity, d.id, d.text);
    EXPECT_EQ(stream.Text(), journal
                                 ? "<6>kivo-watch: monitoring 2 controller(s)\n"
                                   "<4>kivo-watch: no Zelka controller found yet in /run/zelka; watching\n"
                                   "<3>kivo-watch: first line\n"
                                   "<3>second line\n"
                                 : "kivo-watch: monitoring 2 controller(s)\n"
                                   "kivo-watch: no Zelka controller found yet in /run/zelka; watching\n"
                                   "kivo-watch: first line\r\nsecond line\n");
  }
}

TEST(DiagnosticOutputTest, AsEventLogEntriesARefusedOneOnTheStream) {
  Stream stream;
  ASSERT_NE(stream.File(), nullptr);
  RecordingEventLog log;
  log.refuse = kWatchFailureEventId;
  DiagnosticOutput output(stream.File(), false);
  output.UseEventLog(&log);
  for (const Diagnostic& d : kDiagnostics) output.Report(d.severity, d.id, d.text);
  const std::vector<Entry> expected = {
      {kWatchStartedEventId, Type::Information, "monitoring 2 controller(s)"},
      {kNoControllerEventId, Type::Warning, "no Zelka controller found yet in /run/zelka; watching"},
      {kWatchFailureEventId, Type::Error, "first line\r\nsecond line"},
  };
  EXPECT_EQ(log.entries, expected);
  EXPECT_EQ(stream.Text(), "kivo-watch: first line\r\nsecond line\n");

  // Back to the stream alone.
  output.UseEventLog(nullptr);
  output.Report(EventSeverity::Information, kWatchStoppedEventId, "stopped");
  EXPECT_EQ(log.entries.size(), 3u);
  EXPECT_EQ(stream.Text(), "kivo-watch: first line\r\nsecond line\nkivo-watch: stopped\n");
}

TEST(DiagnosticOutputTest, TheFirstScansBoxesAreDiagnostics) {
  Stream stream;
  ASSERT_NE(stream.File(), nullptr);
  RecordingEventLog log;
  DiagnosticOutput output(stream.File(), false);
  output.UseEventLog(&log);
  DiagnosticBoxes boxes(output);
  EXPECT_EQ(boxes.MessageBoxA(false, "Cannot open controller 0. (2)\r\n", "Zelka Error Message",
                              platform::MB_ICONERROR),
            platform::IDOK);
  EXPECT_EQ(boxes.MessageBoxA(false, "Check the setup.", "Kivo", platform::MB_ICONEXCLAMATION),
            platform::IDOK);
  const std::vector<Entry> expected = {
      {kScanMessageEventId, Type::Error, "Zelka Error Message: Cannot open controller 0. (2)"},
      {kScanMessageEventId, Type::Warning, "Kivo: Check the setup."},
  };
  EXPECT_EQ(log.entries, expected);
  EXPECT_EQ(stream.Text(), "");
}

}  // namespace
}  // namespace kivo::test
