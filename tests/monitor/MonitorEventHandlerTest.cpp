// The window side of the hand-over: what the MonitorMessage handler shows,
// selects, records and drops for each wParam.
#include "monitor/MonitorEventHandler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "MonitorWindowDouble.h"
#include "monitor/MessageLock.h"
#include "monitor/PendingText.h"
#include "report/ReportText.h"

namespace kivo::test {
namespace {

using Calls = std::vector<std::string>;

// FakeClock's start, 1000000000, in UTC (CTest sets TZ=UTC).
constexpr char kTime[] = "Sun Sep 09 01:46:40 2001";

std::string Frame(const std::string& body) {
  return std::string("TIME: ") + kTime + " MESSAGE: " + body + "\r\n";
}

class MonitorEventHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLock::Create();
    PendingText().Clear();
    PendingErrorText().Clear();
    ReportText().Assign("OLD REPORT\r\n");
    window.entries = {"Controller SCSI ID:0", "Controller SCSI ID:4"};
  }
  void TearDown() override {
    MessageLock::Retire();
    PendingText().Clear();
    PendingErrorText().Clear();
    ReportText().Clear();
  }
  void Pend(const std::string& text, TextBuffer& pending = PendingText()) {
    MessageLock::Scope lock;
    pending.Append(text.c_str());
  }

  FakeClock clock;
  RecordingWindow window;
  MonitorEventHandler handler{clock, window, &ReportText()};
};

TEST_F(MonitorEventHandlerTest, EventLineIsShownSelectedAndRecorded) {
  const std::string line = Frame("Drive timeout encountered on unit 1 on controller ID:4.");
  Pend(line);
  window.SetLastEventController(4);

  EXPECT_EQ(handler.Handle(EventReady), 1);

  // One rescan: the refresh that opens the message.
  EXPECT_EQ(window.calls,
            (Calls{"Refresh", "ShowAlert", "Find Controller SCSI ID:4", "ShowController 0,1", "Push"}));
  EXPECT_EQ(window.alerts, std::vector<std::string>{line});
  EXPECT_EQ(window.selectedRow, 1);
  // The fresh report followed by the line.
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport + line);
  EXPECT_EQ(PendingText().Length(), 0);
}

TEST_F(MonitorEventHandlerTest, TwoEventsBeforeTheFirstMessageMakeOneAlert) {
  const std::string first = Frame("Rebuild started on unit 0 on controller ID:0.");
  const std::string second = Frame("Rebuild is complete on unit 2 on controller ID:4.");
  Pend(first);
  window.SetLastEventController(0);
  Pend(second);
  window.SetLastEventController(4);

  handler.Handle(EventReady);
  ASSERT_EQ(window.alerts.size(), 1u);
  EXPECT_EQ(window.alerts[0], first + second);
  EXPECT_EQ(window.selectedRow, 1);  // the second controller
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport + first + second);

  // The second message finds its line taken: it shows nothing, rescans
  // nothing, and the report keeps the batch.
  window.calls.clear();
  handler.Handle(EventReady);
  EXPECT_TRUE(window.calls.empty());
  EXPECT_EQ(window.alerts.size(), 1u);
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport + first + second);
}

TEST_F(MonitorEventHandlerTest, UnlistedControllerSelectsEntryZero) {
  Pend(Frame("Controller ID:7 error."));
  window.SetLastEventController(7);
  handler.Handle(EventReady);
  EXPECT_EQ(window.calls[2], "Find Controller SCSI ID:7");
  EXPECT_EQ(window.selectedRow, 0);
}

TEST_F(MonitorEventHandlerTest, EntryTextMustMatchWhole) {
  window.entries = {"Controller SCSI ID:1", "Controller SCSI ID:11"};
  Pend(Frame("Controller ID:1 error."));
  window.SetLastEventController(1);
  handler.Handle(EventReady);
  EXPECT_EQ(window.selectedRow, 0);
  Pend(Frame("Controller ID:11 error."));
  window.SetLastEventController(11);
  handler.Handle(EventReady);
  EXPECT_EQ(window.selectedRow, 1);
}

struct NumberCase {
  std::uint32_t wParam;
  const char* text;
};
void PrintTo(const NumberCase& c, std::ostream* out) {
  *out << c.wParam;
}

class EventNumberTest : public MonitorEventHandlerTest, public ::testing::WithParamInterface<NumberCase> {};

// Any wParam the thread does not post is shown as an event number, signed.
TEST_P(EventNumberTest, OtherParamsAreShownAsEventNumbers) {
  Pend("left for a later EventReady\r\n");
  handler.Handle(GetParam().wParam);
  const std::string line = Frame(std::string("Event ") + GetParam().text + " received");
  EXPECT_EQ(window.alerts, std::vector<std::string>{line});
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport + line);
  // The pending text is not touched.
  EXPECT_EQ(std::string(PendingText().Text()), "left for a later EventReady\r\n");
}

INSTANTIATE_TEST_SUITE_P(Params, EventNumberTest,
                         ::testing::Values(NumberCase{5, "5"}, NumberCase{0, "0"},
                                           NumberCase{0xFFFC, "65532"},
                                           NumberCase{0x80000000u, "-2147483648"},
                                           NumberCase{0xFFFFFFFFu, "-1"}),
                         [](const ::testing::TestParamInfo<NumberCase>& info) {
                           return "wParam" + std::to_string(info.param.wParam);
                         });

constexpr char kError[] =
    "Error retrieving notification from controller 0. System resources may be limited.  Check the service "
    "control manager to ensure the Kivo service is running. (e003,ad008)\r\n";

TEST_F(MonitorEventHandlerTest, ErrorTextIsShownFramedOnce) {
  Pend(kError, PendingErrorText());

  handler.Handle(ErrorReady);
  const std::string line = Frame(kError);
  EXPECT_EQ(line.substr(line.size() - 4), "\r\n\r\n");
  // One refresh, after the status line is set, so that it shows it.
  EXPECT_EQ(window.calls, (Calls{"Refresh", "ShowAlert"}));
  EXPECT_EQ(window.alerts, std::vector<std::string>{line});
  EXPECT_EQ(window.StatusLine(), line);
  EXPECT_EQ(window.MonitorState(), 0);
  // The line follows the report of that refresh.
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport + line);
  EXPECT_EQ(PendingErrorText().Length(), 0);

  // A message whose text was taken already shows no empty entry.
  window.calls.clear();
  handler.Handle(ErrorReady);
  EXPECT_TRUE(window.calls.empty());
  EXPECT_EQ(window.alerts.size(), 1u);
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport + line);
}

// A window running behind: the thread has marked the period failing and
// left event lines and the error text before the window takes any message.
// The events' message takes the events only; the error is still shown once,
// framed.
TEST_F(MonitorEventHandlerTest, WindowRunningBehindShowsEachTextInItsOwnForm) {
  const std::string event = Frame("Queue is full.");
  Pend(event);
  Pend(kError, PendingErrorText());
  window.SetMonitorState(0);

  handler.Handle(EventReady);
  handler.Handle(ErrorReady);
  EXPECT_EQ(window.alerts, (std::vector<std::string>{event, Frame(kError)}));
}

TEST_F(MonitorEventHandlerTest, EventsAreShownWhileFailing) {
  window.SetMonitorState(0);
  Pend(Frame("Queue is full."));
  window.SetLastEventController(0);
  handler.Handle(EventReady);
  // No opening refresh while failing, but the event goes through.
  EXPECT_EQ(window.calls,
            (Calls{"ShowAlert", "Find Controller SCSI ID:0", "Scan 0", "ShowController 0,0", "Push"}));
  EXPECT_EQ(window.alerts, std::vector<std::string>{Frame("Queue is full.")});
}

TEST_F(MonitorEventHandlerTest, RestartCreatesTheLockAndStartsAThread) {
  MessageLock::Retire();
  Pend("untouched\r\n");
  bool lockReadyAtStart = false;
  window.onStart = [&] { lockReadyAtStart = MessageLock::Ready(); };

  EXPECT_EQ(handler.Handle(RestartMonitor), 1);
  EXPECT_EQ(window.calls, (Calls{"Refresh", "StartMonitorThread"}));
  EXPECT_TRUE(lockReadyAtStart);
  EXPECT_TRUE(window.alerts.empty());
  // The refresh's report, nothing appended.
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport);
  EXPECT_EQ(std::string(PendingText().Text()), "untouched\r\n");
}

TEST_F(MonitorEventHandlerTest, RestartWhileFailingSkipsTheRefresh) {
  window.SetMonitorState(0);
  handler.Handle(RestartMonitor);
  EXPECT_EQ(window.calls, (Calls{"StartMonitorThread"}));
}

struct RescanCase {
  const char* name;
  std::uint32_t wParam;
  bool pending;  // a text waits for this message
  int monitorState;
  int rescans;
};
void PrintTo(const RescanCase& c, std::ostream* out) {
  *out << c.name;
}

class RescanTest : public MonitorEventHandlerTest, public ::testing::WithParamInterface<RescanCase> {};

// A message rescans the controllers once when it shows something (the
// opening refresh, or the event's own scan while failing), and not at all
// when its text was taken by an earlier one.
TEST_P(RescanTest, AtMostOneRescanAMessage) {
  const RescanCase& c = GetParam();
  if (c.pending) {
    Pend(Frame("Rebuild started on unit 0 on controller ID:0."));
    Pend(kError, PendingErrorText());
  }
  window.SetMonitorState(c.monitorState);
  handler.Handle(c.wParam);
  const auto rescans = std::count_if(window.calls.begin(), window.calls.end(), [](const std::string& call) {
    return call == "Refresh" || call == "Scan 0";
  });
  EXPECT_EQ(rescans, c.rescans);
  EXPECT_EQ(window.alerts.size(), c.pending || c.wParam == 5 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Messages, RescanTest,
                         ::testing::Values(RescanCase{"EventHealthy", EventReady, true, 1, 1},
                                           RescanCase{"EventFailing", EventReady, true, 0, 1},
                                           RescanCase{"EventTakenHealthy", EventReady, false, 1, 0},
                                           RescanCase{"EventTakenFailing", EventReady, false, 0, 0},
                                           RescanCase{"ErrorHealthy", ErrorReady, true, 1, 1},
                                           RescanCase{"ErrorFailing", ErrorReady, true, 0, 1},
                                           RescanCase{"ErrorTaken", ErrorReady, false, 1, 0},
                                           RescanCase{"RestartHealthy", RestartMonitor, false, 1, 1},
                                           RescanCase{"RestartFailing", RestartMonitor, false, 0, 0},
                                           RescanCase{"NumberHealthy", 5, false, 1, 1},
                                           RescanCase{"NumberFailing", 5, false, 0, 1}),
                         [](const ::testing::TestParamInfo<RescanCase>& info) {
                           return std::string(info.param.name);
                         });

// A window that never reads a record (kivo-watch) keeps none: the lines are
// shown and nothing grows.
TEST_F(MonitorEventHandlerTest, WithoutARecordNothingIsKept) {
  MonitorEventHandler console(clock, window, nullptr);
  ReportText().Assign("REPORT\r\n");
  for (int i = 0; i < 3; ++i) {
    Pend(Frame("Drive timeout encountered on unit " + std::to_string(i) + " on controller ID:0."));
    console.Handle(EventReady);
  }
  Pend(kError, PendingErrorText());
  console.Handle(ErrorReady);
  console.Handle(5);
  EXPECT_EQ(window.alerts.size(), 5u);
  EXPECT_EQ(std::string(ReportText().Text()), "REPORT\r\n");
}

}  // namespace
}  // namespace kivo::test
