// MonitorThread: the one worker thread. It waits 90 s, then in every pass
// asks the service for each controller's notifications until that
// controller's queue is empty (at most kMaxAnswersPerPass answers), hands
// the pass's event lines (together, at the end of the pass or before a
// failure's wait) and the first error text of a failing period to the
// window through the pending texts and MonitorMessage, and tells the window
// (RestartMonitor) after the first healthy pass that follows a failing one,
// going on at its usual pace. A run that finds no controller looks for them
// again before every pass. Owned and driven by the main window (Start, Stop)
// on its own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/PlatformContext.h"

namespace kivo {

class MonitorWindow;
class ServiceLink;

// Waits of the cycle, in milliseconds of the context's clock.
constexpr std::uint32_t kMonitorStartWaitMs = 90000;
constexpr std::uint32_t kMonitorPassWaitMs = 18000;
// Answers taken from one controller in one pass. One answer a pass let a
// controller raising an event a second fill the service's queue (events
// lost) and show the rest minutes late; the bound keeps a service that never
// says "empty" from holding the thread in one pass.
constexpr int kMaxAnswersPerPass = 64;
// Location code printed in the error text of a failed fetch.
constexpr std::uint32_t kFetchFailedLocation = 0xE003;

// The error text of a failed fetch for `controllerId`, ending in CR LF.
std::string FetchErrorText(int controllerId, std::uint32_t lastStatus);

class MonitorThread {
 public:
  // The thread makes its own ControllerSet over `context` and sleeps on
  // context.clock. The link and the window must outlive the thread (Stop
  // joins it).
  MonitorThread(const platform::PlatformContext& context, ServiceLink& link, MonitorWindow& window);
  // Stops and joins.
  ~MonitorThread();
  MonitorThread(const MonitorThread&) = delete;
  MonitorThread& operator=(const MonitorThread&) = delete;

  // Starts a run at once. A previous run that has ended is joined first; a
  // run still going is left alone and false returned (the window's answer to
  // RestartMonitor finds it so). After Stop nothing starts again (false).
  bool Start();
  // Ends every sleep at once, waits for the thread to finish and keeps it
  // from starting again. The thread never waits for the window, so this
  // returns within one fetch.
  void Stop();
  // True from Start until the run has ended.
  bool Running() const { return running_.load(); }

  // One whole run on the calling thread (the thread body); returns 0.
  int Run(const platform::StopSignal& stop);

 private:
  enum class Fetched { Event, Empty, Failed, Stopped };
  // The event lines of a pass not yet handed over.
  struct PassLines {
    std::string text;
    int lastController = 0;
    int count = 0;
  };
  // One call for the controller: an event's line joins *lines, a failure is
  // handed over once per failing period (*errorHandedOver) after the lines
  // before it; nothing is handed over once `stop` is raised.
  Fetched FetchOne(int controllerId, std::uint32_t lastStatus, const platform::StopSignal& stop,
                   PassLines* lines, bool* errorHandedOver);
  // Appends the lines to PendingText in one lock, sets LastEventController
  // and posts one EventReady per line; then *lines is empty.
  void HandOverLines(PassLines* lines);

  platform::PlatformContext context_;
  ServiceLink& link_;
  MonitorWindow& window_;
  std::unique_ptr<platform::StopSignal> stop_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  bool stopped_ = false;
};

// The starting rule of the main window's initialisation: only when its first
// scan found a controller, create MessageLock and start the thread. Returns
// whether monitoring started.
bool StartMonitoring(int controllerTotal, MonitorThread& thread);

}  // namespace kivo
