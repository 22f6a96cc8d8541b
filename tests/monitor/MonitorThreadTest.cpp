// The monitor thread's cycle on virtual time: what it asks the service, when,
// what it hands over and posts, and how it ends, restarts and stops.
#include "monitor/MonitorThread.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "MonitorWindowDouble.h"
#include "controller/ControllerSet.h"
#include "emulator/InProcessDeviceIo.h"
#include "emulator/World.h"
#include "monitor/MessageLock.h"
#include "monitor/MonitorEventHandler.h"
#include "monitor/PendingText.h"
#include "platform/HostFacts.h"
#include "platform/LastError.h"
#include "report/ReportText.h"
#include "support/HostDoubles.h"

namespace kivo::test {
namespace {

using Params = std::vector<std::uint32_t>;
using Waits = std::vector<std::uint32_t>;
constexpr std::uint32_t kServerUnavailable = 1722;

using LinuxHost = test::FakeHostFacts;

// The text of the pending buffer, taken as the window takes it.
std::string TakePending(TextBuffer& pending = PendingText()) {
  MessageLock::Scope lock;
  std::string text = pending.Text();
  pending.Clear();
  return text;
}

class MonitorThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLock::Retire();
    PendingText().Clear();
    PendingErrorText().Clear();
    ReportText().Clear();
  }
  void TearDown() override {
    if (thread) thread->Stop();
    MessageLock::Retire();
    PendingText().Clear();
    PendingErrorText().Clear();
    ReportText().Clear();
  }

  // A machine with controllers on these SCSI ports, and a monitor over it.
  void Build(const std::vector<int>& ports, ScriptedServiceLink::Script script) {
    for (int port : ports) {
      emulator::Controller controller;
      controller.scsiId = port;
      controller.driverText = "Zelka driver";
      world.controllers.push_back(controller);
    }
    device = std::make_unique<emulator::InProcessDeviceIo>(world);
    context.clock = &clock;
    context.host = &host;
    context.device = device.get();
    link = std::make_unique<ScriptedServiceLink>(std::move(script));
    thread = std::make_unique<MonitorThread>(context, *link, window);
  }

  // Moves past the n-th sleep of the run (1-based), once the thread is in it.
  void Pass(std::size_t n) { ASSERT_TRUE(AdvancePastSleep(clock, n)) << "no sleep number " << n; }

  FakeClock clock{false};
  LinuxHost host;
  emulator::World world;
  std::unique_ptr<platform::DeviceIo> device;
  platform::PlatformContext context;
  std::unique_ptr<ScriptedServiceLink> link;
  RecordingWindow window{&clock};
  std::unique_ptr<MonitorThread> thread;
};

ScriptedServiceLink::Script AlwaysFailing() {
  return [](int, int) { return ScriptedServiceLink::Answer{kServerUnavailable, 0}; };
}
ScriptedServiceLink::Script AlwaysEmpty() {
  return [](int, int) { return ScriptedServiceLink::Answer{0, 0}; };
}

// The error text of a failed fetch, whole and byte for byte: two blanks
// before "Check", the location and the set's status in lower-case hex.
TEST(FetchErrorTextTest, ReadsByteForByte) {
  struct Row {
    int controllerId;
    std::uint32_t lastStatus;
    const char* tail;
  };
  const Row rows[] = {
      {0, 0xAD008,
       "controller 0. System resources may be limited.  Check the service control manager to ensure "
       "the Kivo service is running. (e003,ad008)\r\n"},
      {11, 0,
       "controller 11. System resources may be limited.  Check the service control manager to ensure "
       "the Kivo service is running. (e003,0)\r\n"},
      {3, 0xFFFFFFFFu,
       "controller 3. System resources may be limited.  Check the service control manager to "
       "ensure the Kivo service is running. (e003,ffffffff)\r\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FetchErrorText(row.controllerId, row.lastStatus),
              std::string("Error retrieving notification from ") + row.tail)
        << row.controllerId;
  }
}

TEST_F(MonitorThreadTest, NoControllerMeansNoThreadNoLockNoMessage) {
  Build({}, AlwaysEmpty());
  EXPECT_FALSE(StartMonitoring(0, *thread));
  EXPECT_FALSE(thread->Running());
  EXPECT_FALSE(MessageLock::Ready());
  EXPECT_TRUE(clock.Sleeps().empty());
  EXPECT_TRUE(window.Posts().empty());
}

TEST_F(MonitorThreadTest, StartingCreatesTheLockFirst) {
  Build({0}, AlwaysEmpty());
  EXPECT_TRUE(StartMonitoring(1, *thread));
  EXPECT_TRUE(MessageLock::Ready());
  EXPECT_TRUE(thread->Running());
  // A run already going is not started twice.
  EXPECT_FALSE(thread->Start());
}

TEST_F(MonitorThreadTest, ServiceDownFromTheStart) {
  Build({0}, AlwaysFailing());
  // Probing the absent ports 1 to 11 leaves the open failure as last status.
  const std::uint32_t lastStatus = kStatusOpenFailed;
  ASSERT_TRUE(StartMonitoring(1, *thread));

  ASSERT_TRUE(WaitForSleepCount(clock, 1));
  EXPECT_EQ(clock.Sleeps(), Waits{90000});
  EXPECT_TRUE(window.Posts().empty());

  Pass(1);  // 90 s: the first pass fails
  ASSERT_TRUE(window.WaitForPosts(1));
  const std::string text = TakePending(PendingErrorText());
  EXPECT_EQ(text, FetchErrorText(0, lastStatus));
  EXPECT_EQ(text.substr(0, 52), "Error retrieving notification from controller 0. Sys");
  EXPECT_EQ(text.substr(text.size() - 14), "(e003,ad008)\r\n");
  EXPECT_EQ(window.Posts()[0].elapsedMs, 90000u);
  EXPECT_EQ(window.MonitorState(), 1);  // the pass is not over yet

  Pass(2);  // 18 s after the failed call, the pass ends failing
  ASSERT_TRUE(WaitForSleepCount(clock, 3));
  EXPECT_EQ(window.MonitorState(), 0);
  Pass(3);  // 18 s after the pass
  Pass(4);
  Pass(5);
  ASSERT_TRUE(WaitForSleepCount(clock, 6));

  // Asked every 36 s, but the period's error is handed over once.
  EXPECT_EQ(window.PostedParams(), (Params{ErrorReady}));
  EXPECT_EQ(clock.Sleeps(), (Waits{90000, 18000, 18000, 18000, 18000, 18000}));
  EXPECT_EQ(link->Asked(), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(TakePending(PendingErrorText()), "");
  EXPECT_EQ(PendingText().Length(), 0);
}

TEST_F(MonitorThreadTest, ErrorTextCarriesTheControllerSetStatus) {
  // The set's status is whatever its list-building left: here the failed
  // probe of the ports above 3. The RPC status is not printed.
  Build({3}, AlwaysFailing());
  ControllerSet probe(context);
  probe.Initialise();
  ASSERT_NE(probe.LastStatus(), 0u);
  ASSERT_TRUE(thread->Start());
  Pass(1);
  ASSERT_TRUE(window.WaitForPosts(1));
  const std::string text = TakePending(PendingErrorText());
  EXPECT_EQ(text, FetchErrorText(3, probe.LastStatus()));
  char tail[32];
  std::snprintf(tail, sizeof tail, "(e003,%x)\r\n", probe.LastStatus());
  EXPECT_EQ(text.substr(text.size() - std::strlen(tail)), tail);
  EXPECT_EQ(text.find("6ba"), std::string::npos);  // 1722 in hexadecimal
}

TEST_F(MonitorThreadTest, FirstControllerFailingMakesEveryPassFailing) {
  Build({0, 4}, [](int id, int) {
    return id == 0 ? ScriptedServiceLink::Answer{kServerUnavailable, 0} : ScriptedServiceLink::Answer{0, 0};
  });
  ASSERT_TRUE(thread->Start());
  for (std::size_t n = 1; n <= 7; ++n) Pass(n);
  ASSERT_TRUE(WaitForSleepCount(clock, 8));
  EXPECT_EQ(window.MonitorState(), 0);
  // One error for the whole period and never a restart.
  EXPECT_EQ(window.PostedParams(), (Params{ErrorReady}));
  EXPECT_EQ(link->Asked(), (std::vector<int>{0, 4, 0, 4, 0, 4, 0}));
  EXPECT_EQ(clock.Sleeps(), (Waits{90000, 18000, 18000, 18000, 18000, 18000, 18000, 18000}));
}

TEST_F(MonitorThreadTest, CodeZeroWithAUnitPostsNothing) {
  Build({0}, [](int, int) { return ScriptedServiceLink::Answer{0, 0x0500}; });
  window.SetLastEventController(-1);
  ASSERT_TRUE(thread->Start());
  Pass(1);
  Pass(2);
  Pass(3);
  ASSERT_TRUE(WaitForSleepCount(clock, 4));
  EXPECT_TRUE(window.Posts().empty());
  EXPECT_EQ(PendingText().Length(), 0);
  EXPECT_EQ(window.LastEventController(), -1);
  EXPECT_EQ(link->Asked().size(), 3u);
  EXPECT_EQ(window.MonitorState(), 1);
}

TEST_F(MonitorThreadTest, EventLineIsHandedOverWithItsController) {
  Build({0, 4}, [](int id, int call) {
    return ScriptedServiceLink::Answer{0, static_cast<std::uint16_t>(id == 4 && call == 1 ? 0x0109 : 0)};
  });
  ASSERT_TRUE(thread->Start());
  Pass(1);
  ASSERT_TRUE(window.WaitForPosts(1));
  EXPECT_EQ(window.PostedParams(), Params{EventReady});
  EXPECT_EQ(window.LastEventController(), 4);
  const std::string line = TakePending();
  EXPECT_EQ(line.substr(0, 6), "TIME: ");
  EXPECT_NE(line.find(" MESSAGE: Drive timeout encountered on unit 1 on "
                      "controller ID:4.\r\n"),
            std::string::npos);
}

TEST_F(MonitorThreadTest, QueueFullIsPostedAsAnEvent) {
  Build({0}, [](int, int call) {
    return ScriptedServiceLink::Answer{0, static_cast<std::uint16_t>(call == 0 ? 0x07FF : 0)};
  });
  ASSERT_TRUE(thread->Start());
  Pass(1);
  ASSERT_TRUE(window.WaitForPosts(1));
  EXPECT_EQ(window.PostedParams(), Params{EventReady});
  const std::string line = TakePending();
  EXPECT_EQ(line.substr(line.size() - 26), " MESSAGE: Queue is full.\r\n");
}

// After an outage the run tells the window and goes on asking at its usual
// pace by itself: a window running behind must not hold monitoring up.
TEST_F(MonitorThreadTest, RecoveryGoesOnAtTheUsualPace) {
  // Two failing passes, two healthy ones, then a second outage.
  Build({0}, [](int, int call) {
    return call < 2 || call == 4 ? ScriptedServiceLink::Answer{kServerUnavailable, 0}
                                 : ScriptedServiceLink::Answer{0, 0};
  });
  window.SetStatusLine("TIME: x MESSAGE: old error\r\n");
  ASSERT_TRUE(thread->Start());
  for (std::size_t n = 1; n <= 5; ++n) Pass(n);
  ASSERT_TRUE(window.WaitForPosts(2));
  EXPECT_EQ(window.PostedParams(), (Params{ErrorReady, RestartMonitor}));
  EXPECT_EQ(window.MonitorState(), 1);
  EXPECT_EQ(window.StatusLine(), "");
  EXPECT_TRUE(thread->Running());

  // Nobody started anything: the same run asks again 18 s later.
  Pass(6);
  Pass(7);  // the fourth pass (healthy), then the fifth fails again
  ASSERT_TRUE(window.WaitForPosts(3));
  ASSERT_TRUE(WaitForSleepCount(clock, 8));  // the 18 s after the failed call
  EXPECT_EQ(window.PostedParams(), (Params{ErrorReady, RestartMonitor, ErrorReady}));
  EXPECT_EQ(link->Asked().size(), 5u);
  EXPECT_EQ(clock.Sleeps(), (Waits{90000, 18000, 18000, 18000, 18000, 18000, 18000, 18000}));
}

// Each controller's queue, as the service keeps it: the answers in order,
// then "empty" for good.
ScriptedServiceLink::Script Queues(std::map<int, std::deque<ScriptedServiceLink::Answer>> queues) {
  auto shared = std::make_shared<std::map<int, std::deque<ScriptedServiceLink::Answer>>>(std::move(queues));
  return [shared](int id, int) {
    std::deque<ScriptedServiceLink::Answer>& queue = (*shared)[id];
    if (queue.empty()) return ScriptedServiceLink::Answer{0, 0};
    ScriptedServiceLink::Answer answer = queue.front();
    queue.pop_front();
    return answer;
  };
}
std::deque<ScriptedServiceLink::Answer> Events(int count) {
  std::deque<ScriptedServiceLink::Answer> events;
  for (int unit = 0; unit < count; ++unit) events.push_back({0, static_cast<std::uint16_t>(unit << 8 | 9)});
  return events;
}

struct DrainCase {
  const char* name;
  std::function<ScriptedServiceLink::Script()> script;
  std::vector<int> asked;  // in the first pass, controllers 0 and 4
  Params posted;
  std::size_t sleepsThroughPass;  // the 90 s and every sleep up to the one after the pass
};
void PrintTo(const DrainCase& c, std::ostream* out) {
  *out << c.name;
}

class DrainTest : public MonitorThreadTest, public ::testing::WithParamInterface<DrainCase> {};

// In one pass every controller is asked until its queue is empty, at most
// kMaxAnswersPerPass answers; a failure or an empty answer ends its turn.
// The pass keeps its one sleep after it.
TEST_P(DrainTest, EachControllersQueueIsEmptiedInOnePass) {
  const DrainCase& c = GetParam();
  Build({0, 4}, c.script());
  ASSERT_TRUE(thread->Start());
  for (std::size_t n = 1; n < c.sleepsThroughPass; ++n) Pass(n);
  ASSERT_TRUE(WaitForSleepCount(clock, c.sleepsThroughPass));
  EXPECT_EQ(link->Asked(), c.asked);
  EXPECT_EQ(window.PostedParams(), c.posted);
  EXPECT_EQ(clock.Sleeps().back(), kMonitorPassWaitMs);
}

std::vector<int> NeverEmptyAsked() {
  std::vector<int> asked(kMaxAnswersPerPass, 0);
  asked.push_back(4);
  return asked;
}

INSTANTIATE_TEST_SUITE_P(
    Queues, DrainTest,
    ::testing::Values(
        DrainCase{"ThreeAndTwoEvents",
                  [] {
                    return Queues({{0, Events(3)}, {4, Events(2)}});
                  },
                  {0, 0, 0, 0, 4, 4, 4},
                  Params(5, EventReady),
                  2},
        DrainCase{"AServiceThatNeverSaysEmpty",
                  [] {
                    return [](int id, int) {
                      return ScriptedServiceLink::Answer{0, static_cast<std::uint16_t>(id == 0 ? 9 : 0)};
                    };
                  },
                  NeverEmptyAsked(), Params(kMaxAnswersPerPass, EventReady), 2},
        // The failed call's 18 s, then the failing pass's.
        DrainCase{"AFailureAfterAnEvent",
                  [] {
                    return Queues({{0, {{0, 0x0109}, {kServerUnavailable, 0}, {0, 0x0209}}}, {4, Events(1)}});
                  },
                  {0, 0, 4, 4},
                  Params{EventReady, ErrorReady, EventReady},
                  3},
        DrainCase{"AUnitWithoutACode",
                  [] {
                    return Queues({{0, {{0, 0x0500}, {0, 0x0109}}}});
                  },
                  {0, 4},
                  Params{},
                  2}),
    [](const ::testing::TestParamInfo<DrainCase>& info) { return std::string(info.param.name); });

// A window that handles a message while the thread still fetches must not
// split a pass into batches: the lines of a pass wait in PendingText whole
// before the first of their messages is posted.
TEST_F(MonitorThreadTest, APassIsHandedOverWhole) {
  Build({0, 4}, Queues({{0, Events(5)}, {4, Events(3)}}));
  std::vector<std::string> pendingAtPost;
  window.onPost = [&](std::uint32_t) {
    MessageLock::Scope lock;
    pendingAtPost.emplace_back(PendingText().Text());
  };
  MessageLock::Create();
  ASSERT_TRUE(thread->Start());
  Pass(1);
  ASSERT_TRUE(WaitForSleepCount(clock, 2));
  ASSERT_EQ(pendingAtPost.size(), 8u);
  for (const std::string& pending : pendingAtPost) EXPECT_EQ(pending, pendingAtPost[0]);
  std::size_t lines = 0;
  for (auto at = pendingAtPost[0].find(" MESSAGE: "); at != std::string::npos;
       at = pendingAtPost[0].find(" MESSAGE: ", at + 1))
    ++lines;
  EXPECT_EQ(lines, 8u);
  EXPECT_EQ(window.LastEventController(), 4);
}

// A run started while no controller answered (the service back before the
// devices) keeps looking for them and watches them once they appear.
TEST_F(MonitorThreadTest, RunWithoutControllersResumesWhenTheyAppear) {
  Build({}, [](int id, int call) {
    return ScriptedServiceLink::Answer{0, static_cast<std::uint16_t>(id == 4 && call == 0 ? 0x0109 : 0)};
  });
  ASSERT_TRUE(thread->Start());
  Pass(1);
  Pass(2);  // two passes over nothing
  ASSERT_TRUE(WaitForSleepCount(clock, 3));
  EXPECT_TRUE(link->Asked().empty());
  {
    std::lock_guard lock(world.mutex);
    emulator::Controller controller;
    controller.scsiId = 4;
    controller.driverText = "Zelka driver";
    world.controllers.push_back(controller);
  }
  Pass(3);
  ASSERT_TRUE(window.WaitForPosts(1));
  EXPECT_EQ(window.PostedParams(), Params{EventReady});
  EXPECT_EQ(window.LastEventController(), 4);
  // The event, then the empty queue.
  EXPECT_EQ(link->Asked(), (std::vector<int>{4, 4}));
}

TEST_F(MonitorThreadTest, StopEndsTheThreadWhileItSleeps) {
  Build({0}, AlwaysEmpty());
  ASSERT_TRUE(thread->Start());
  ASSERT_TRUE(WaitForSleepCount(clock, 1));
  thread->Stop();
  EXPECT_FALSE(thread->Running());
  EXPECT_TRUE(window.Posts().empty());
  EXPECT_TRUE(link->Asked().empty());
  // Once stopped for good, nothing starts again.
  EXPECT_FALSE(thread->Start());
}

TEST_F(MonitorThreadTest, StopInTheMiddleOfAFailingPeriod) {
  Build({0, 4}, AlwaysFailing());
  ASSERT_TRUE(thread->Start());
  Pass(1);
  ASSERT_TRUE(window.WaitForPosts(1));
  ASSERT_TRUE(WaitForSleepCount(clock, 2));  // the 18 s after the failed call
  thread->Stop();
  EXPECT_EQ(window.Posts().size(), 1u);
  EXPECT_EQ(link->Asked(), std::vector<int>{0});
}

// The thread and the window side together, the window's message loop run on
// the test thread: service down from the start, then back.
TEST_F(MonitorThreadTest, OnlyTheFirstErrorOfAFailingPeriodReachesTheUser) {
  Build({0}, [](int, int call) {
    return call < 3 ? ScriptedServiceLink::Answer{kServerUnavailable, 0} : ScriptedServiceLink::Answer{0, 0};
  });
  window.entries = {"Controller SCSI ID:0"};
  window.onStart = [this] { thread->Start(); };
  MonitorEventHandler handler(clock, window, &ReportText());
  auto pump = [&] {
    std::uint32_t wParam = 0;
    while (window.TakeMessage(&wParam)) handler.Handle(wParam);
  };
  ASSERT_TRUE(StartMonitoring(1, *thread));

  // Each failing pass: the failed call, 18 s, the end of the pass, 18 s.
  // The window handles each message while the thread sleeps.
  Pass(1);
  ASSERT_TRUE(window.WaitForPosts(1));
  pump();
  ASSERT_EQ(window.alerts.size(), 1u);
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport + window.alerts[0]);
  for (std::size_t n = 2; n <= 7; ++n) Pass(n);
  ASSERT_TRUE(window.WaitForPosts(2));
  pump();
  const std::size_t sleeps = 7;
  // Three failing passes, one error, one alert; then the run goes on.
  EXPECT_EQ(window.PostedParams(), (Params{ErrorReady, RestartMonitor}));
  ASSERT_EQ(window.alerts.size(), 1u);
  const std::string& alert = window.alerts[0];
  EXPECT_EQ(alert.substr(0, 6), "TIME: ");
  EXPECT_NE(alert.find(" MESSAGE: Error retrieving notification from controller 0."), std::string::npos);
  EXPECT_EQ(alert.substr(alert.size() - 4), "\r\n\r\n");
  // The refresh that opened the restart began the report afresh.
  EXPECT_EQ(std::string(ReportText().Text()), kScannedReport);
  EXPECT_EQ(window.StatusLine(), "");
  EXPECT_EQ(window.MonitorState(), 1);
  ASSERT_TRUE(WaitForSleepCount(clock, sleeps + 1));
  EXPECT_EQ(clock.Sleeps().back(), 18000u);
  EXPECT_TRUE(thread->Running());
}

}  // namespace
}  // namespace kivo::test
