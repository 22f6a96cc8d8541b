// The monitor thread's cycle and its start and stop.
#include "monitor/MonitorThread.h"

#include <cstdio>

#include "controller/ControllerSet.h"
#include "monitor/EventCatalogue.h"
#include "monitor/MessageLock.h"
#include "monitor/MonitorWindow.h"
#include "monitor/PendingText.h"
#include "monitor/ServiceLink.h"

namespace kivo {

// One bit per controller position in the failure mask.
static_assert(kMaxControllers <= 16);

std::string FetchErrorText(int controllerId, std::uint32_t lastStatus) {
  char text[256];
  std::snprintf(text, sizeof text,
                "Error retrieving notification from controller %d. System "
                "resources may be limited.  Check the "
                "service control manager to ensure the Kivo service is "
                "running. (%x,%x)\r\n",
                controllerId, kFetchFailedLocation, lastStatus);
  return text;
}

namespace {

void HandOver(TextBuffer& pending, const std::string& text) {
  MessageLock::Scope lock;
  pending.Append(text.c_str());
}

}  // namespace

MonitorThread::MonitorThread(const platform::PlatformContext& context, ServiceLink& link,
                             MonitorWindow& window)
    : context_(context), link_(link), window_(window) {}

MonitorThread::~MonitorThread() {
  Stop();
}

bool MonitorThread::Start() {
  if (stopped_ || running_.load()) return false;
  if (thread_.joinable()) thread_.join();
  stop_ = std::make_unique<platform::StopSignal>();
  running_.store(true);
  thread_ = std::thread([this, stop = stop_.get()] {
    Run(*stop);
    running_.store(false);
  });
  return true;
}

void MonitorThread::Stop() {
  stopped_ = true;
  if (stop_) stop_->Raise();
  if (thread_.joinable()) thread_.join();
}

int MonitorThread::Run(const platform::StopSignal& stop) {
  platform::Clock& clock = *context_.clock;
  ControllerSet controllers(context_);
  controllers.Initialise();
  int count = controllers.ControllerCount();

  if (!clock.Sleep(kMonitorStartWaitMs, &stop)) return 0;

  std::uint16_t failureMask = 0;
  bool hadFailure = false;
  // One error text per failing period: the user hears of an outage once, and
  // a window running behind gets no pile of them.
  bool errorHandedOver = false;
  // The event lines of this pass, handed over together: the window takes
  // them as one batch, however its handling and the fetches interleave.
  PassLines lines;
  for (;;) {
    // A run that began while no controller answered (the devices came back
    // after the service, a driver reloading) would otherwise watch nothing
    // for good: look for them again on every pass until some appear.
    if (count == 0) {
      controllers.Initialise();
      count = controllers.ControllerCount();
    }
    for (int i = 0; i < count; ++i) {
      const int controllerId = controllers.ControllerIdAt(i);
      const auto bit = static_cast<std::uint16_t>(1u << i);
      // A controller that answered an event is asked again at once: its
      // queue is emptied in this pass, not one word every 18 s.
      for (int answers = 0; answers < kMaxAnswersPerPass; ++answers) {
        const Fetched fetched =
            FetchOne(controllerId, controllers.LastStatus(), stop, &lines, &errorHandedOver);
        if (fetched == Fetched::Stopped) return 0;
        if (fetched == Fetched::Failed) {
          // The lines fetched so far do not wait out the failure's 18 s.
          HandOverLines(&lines);
          if (!clock.Sleep(kMonitorPassWaitMs, &stop)) return 0;
          failureMask = static_cast<std::uint16_t>(failureMask | bit);
          break;
        }
        failureMask = static_cast<std::uint16_t>(failureMask & ~bit);
        if (fetched == Fetched::Empty) break;
      }
    }
    HandOverLines(&lines);

    if (failureMask != 0) {
      hadFailure = true;
      window_.SetMonitorState(0);
    } else {
      window_.SetMonitorState(1);
      window_.SetStatusLine(std::string());
      if (hadFailure) {
        // The window hears that monitoring is healthy again, but the run
        // goes on at its usual pace: waiting for the window to start a new
        // one stalls monitoring for as long as the window runs behind.
        hadFailure = false;
        errorHandedOver = false;
        window_.PostMonitorMessage(RestartMonitor);
      }
    }
    if (!clock.Sleep(kMonitorPassWaitMs, &stop)) return 0;
  }
}

MonitorThread::Fetched MonitorThread::FetchOne(int controllerId, std::uint32_t lastStatus,
                                               const platform::StopSignal& stop, PassLines* lines,
                                               bool* errorHandedOver) {
  std::uint16_t word = 0;
  const std::uint32_t status = link_.FetchNotification(controllerId, &word);
  if (stop.Raised()) return Fetched::Stopped;
  if (status != 0) {
    if (!*errorHandedOver) {
      // The events fetched before it come first.
      HandOverLines(lines);
      // The controller set's own status is printed, not the RPC status.
      HandOver(PendingErrorText(), FetchErrorText(controllerId, lastStatus));
      window_.PostMonitorMessage(ErrorReady);
      *errorHandedOver = true;
    }
    return Fetched::Failed;
  }
  const unsigned code = word & 0xFFu;
  const unsigned unit = (word >> 8) & 0xFFu;
  if (code == 0) return Fetched::Empty;  // the controller's queue is empty
  lines->text += DescribeEvent(*context_.clock, code, unit, controllerId);
  lines->lastController = controllerId;
  ++lines->count;
  return Fetched::Event;
}

void MonitorThread::HandOverLines(PassLines* lines) {
  if (lines->count == 0) return;
  HandOver(PendingText(), lines->text);
  window_.SetLastEventController(lines->lastController);
  // One EventReady per line, as ever: the first the window handles takes them
  // all, the others find nothing.
  for (int i = 0; i < lines->count; ++i) window_.PostMonitorMessage(EventReady);
  *lines = PassLines();
}

bool StartMonitoring(int controllerTotal, MonitorThread& thread) {
  if (controllerTotal <= 0) return false;
  MessageLock::Create();
  return thread.Start();
}

}  // namespace kivo
