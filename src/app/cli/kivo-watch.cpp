// kivo-watch: the monitor of the utility for servers without a desktop. It
// scans the controllers once, then runs the monitor thread against them and
// prints every event line, and the first error of a failing period, on
// standard output as the alert window would show them. Diagnostics go to
// standard error (with syslog priorities when that is the journal). Ends
// cleanly on the system's stop request (SIGTERM or SIGINT; Ctrl+C on
// Windows). On Windows it also registers itself as a service and, run as one,
// writes its alerts and its diagnostics to the Application event log instead.
// It keeps no record of the lines it showed: nothing would read it, and a
// flapping cable would grow it without end. The usage is the system's own
// (ConsoleUsage).
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/ConsoleUsage.h"
#include "controller/ControllerInfo.h"
#include "monitor/DiagnosticOutput.h"
#include "monitor/EventLogOutput.h"
#include "monitor/JournalText.h"
#include "monitor/MessageLock.h"
#include "monitor/MonitorEventHandler.h"
#include "monitor/MonitorThread.h"
#include "monitor/MonitorWindow.h"
#include "monitor/ServiceLink.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/EventLog.h"
#include "platform/JournalStream.h"
#include "platform/PlatformContext.h"
#include "platform/ProcessLauncher.h"
#include "platform/ServiceHost.h"
#include "platform/ServiceRpc.h"
#include "platform/StandardOutput.h"
#include "platform/StopRequest.h"
#include "platform/SystemPlatform.h"
#include "report/InventoryScan.h"

namespace {

using namespace kivo;

const platform::ServiceIdentity kService = {
    "KivoWatch", "Kivo Event Monitor",
    "Watches the Zelka RAID controllers and writes their events to the Application log.", "Kivo",
    "--service"};

// The main thread's message queue: the monitor thread posts, the main loop
// takes. Quit ends the loop.
class MessageQueue {
 public:
  void Post(std::uint32_t wParam) {
    {
      std::lock_guard guard(mutex_);
      messages_.push_back(wParam);
    }
    changed_.notify_one();
  }
  void Quit() {
    {
      std::lock_guard guard(mutex_);
      quit_ = true;
    }
    changed_.notify_one();
  }
  // Blocks until a message arrives (true) or Quit (false).
  bool Take(std::uint32_t* wParam) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return quit_ || !messages_.empty(); });
    if (quit_) return false;
    *wParam = messages_.front();
    messages_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::uint32_t> messages_;
  bool quit_ = false;
};

// The main window, as far as the monitor needs one, on a console: alerts go
// to standard output, the controller box is a list of entry texts.
class ConsoleWindow : public MonitorWindow {
 public:
  ConsoleWindow(ControllerRecords& records, MessageQueue& queue, DiagnosticOutput& diagnostics)
      : records_(records), queue_(queue), diagnostics_(diagnostics) {}

  void SetThread(MonitorThread* thread) { thread_ = thread; }
  // Run as a service, the alerts go to the event log instead.
  void SetEventLog(EventLogOutput* eventLog) { eventLog_ = eventLog; }

  void PostMonitorMessage(std::uint32_t wParam) override { queue_.Post(wParam); }

  // A console shows no controller, so the window's rescans would only keep
  // this thread busy (twelve controllers: about a thousand device requests a
  // second under a stream of events) while the lines wait. The controller
  // box keeps the controllers of the first scan.
  void Refresh() override {}
  void ShowAlert(const std::string& line) override {
    // Empty text only re-shows the alert window; there is nothing to print.
    if (line.empty() || outputLost_) return;
    if (eventLog_ != nullptr) {
      if (!eventLog_->Write(line)) {
        diagnostics_.Report(EventSeverity::Warning, kWatchFailureEventId, "the event log refused an entry");
      }
      return;
    }
    const std::string text = journal_ ? JournalText(line) : line;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
      // Nobody reads the alerts any more: stop rather than watch in vain.
      diagnostics_.Report(EventSeverity::Error, kWatchFailureEventId,
                          std::string("cannot write to standard output: ") + std::strerror(errno));
      outputLost_ = true;
      queue_.Quit();
    }
  }
  bool OutputLost() const { return outputLost_; }
  int FindControllerEntry(const std::string& text) override {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i] == text) return static_cast<int>(i);
    }
    return -1;
  }
  void ScanControllers(int /*firstTime*/) override {}
  void ShowController(int /*firstTime*/, int row) override {
    // The scan keeps the controller list in the first record.
    const ControllerInfo& list = records_[0];
    entries_.clear();
    for (int i = 0; i < list.ControllerCount(); ++i) {
      entries_.push_back(kControllerEntryPrefix + std::to_string(list.ControllerIdAt(i)));
    }
    selectedRow_ = row >= 0 && row < static_cast<int>(entries_.size()) ? row : 0;
  }
  void PushDisplayTexts() override {}
  void StartMonitorThread() override {
    // The run usually goes on after an outage: nothing to start then.
    if (thread_ != nullptr && !thread_->Start() && !thread_->Running()) {
      diagnostics_.Report(EventSeverity::Error, kWatchFailureEventId,
                          "the monitor thread could not be restarted");
    }
  }

 private:
  ControllerRecords& records_;
  MessageQueue& queue_;
  DiagnosticOutput& diagnostics_;
  MonitorThread* thread_ = nullptr;
  EventLogOutput* eventLog_ = nullptr;
  std::vector<std::string> entries_;
  int selectedRow_ = 0;
  bool outputLost_ = false;
  // Under the service manager each line carries its priority for the journal.
  const bool journal_ = platform::StandardOutputIsJournal();
};

}  // namespace

// The monitor until the stop request; its alerts go to `eventLog` when one
// is given, else to standard output.
static int Watch(platform::StopRequest& stopRequest, EventLogOutput* eventLog,
                 DiagnosticOutput& diagnostics) {
  // The lines carry their own CR LF.
  platform::UseBinaryStandardOutput();

  DiagnosticBoxes messageBoxes(diagnostics);
  platform::ProcessLauncher launcher;
  platform::SystemPlatform system(messageBoxes, launcher);
  platform::SystemClock& systemClock = system.clock;
  // Only the monitor thread's waits are scaled.
  platform::ScaledClock monitorClock(systemClock, platform::TimeScaleFromEnvironment());
  const platform::PlatformContext& context = system.context;
  platform::PlatformContext monitorContext = context;
  monitorContext.clock = &monitorClock;

  // The first scan, with its errors shown (on standard error).
  ControllerRecords records(context);
  ScanOutcome outcome;
  SetErrorBoxesEnabled(true);
  ScanControllers(1, records, &outcome);
  SetErrorBoxesEnabled(false);

  MessageQueue queue;
  ConsoleWindow window(records, queue, diagnostics);
  window.SetEventLog(eventLog);
  window.ShowController(1, 0);
  ServiceLink link(context.rpcDirectory);
  MonitorThread thread(monitorContext, link, window);
  window.SetThread(&thread);
  // A service must not exit and be restarted for ever where the driver loads
  // late: with no controller the monitor runs anyway and looks for them again
  // before every pass.
  if (outcome.controllerCount > 0) {
    diagnostics.Report(EventSeverity::Information, kWatchStartedEventId,
                       "monitoring " + std::to_string(outcome.controllerCount) + " controller(s)");
  } else {
    diagnostics.Report(EventSeverity::Warning, kNoControllerEventId,
                       "no Zelka controller found yet" +
                           platform::DeviceLocationHint(platform::DefaultDeviceDirectory()) +
                           "; watching for one to appear");
  }
  MessageLock::Create();
  if (!thread.Start()) {
    diagnostics.Report(EventSeverity::Error, kWatchFailureEventId, "the monitor thread could not be started");
    return 1;
  }

  // Takes the stop request; the main loop ending for another reason raises
  // it itself to release the waiter.
  std::thread stopWaiter([&] {
    stopRequest.Wait();
    queue.Quit();
  });

  // No record of the shown lines: nothing here reads one.
  MonitorEventHandler handler(systemClock, window, nullptr);
  std::uint32_t wParam = 0;
  while (queue.Take(&wParam)) handler.Handle(wParam);

  // The thread goes before the lock it uses.
  thread.Stop();
  MessageLock::Retire();
  if (window.OutputLost()) stopRequest.Raise();
  stopWaiter.join();
  diagnostics.Report(EventSeverity::Information, kWatchStoppedEventId, "stopped");
  return window.OutputLost() ? 1 : 0;
}

int main(int argc, char** argv) {
  const std::string option = argc == 2 ? argv[1] : "";
  if (option == "--install-service" || option == "--remove-service" || option == "--start-service") {
    std::string error;
    int status = 0;
    const char* done = "";
    if (option == "--install-service") {
      status = platform::InstallService(kService, &error);
      done = "is installed";
    } else if (option == "--remove-service") {
      status = platform::RemoveService(kService, &error);
      done = "is removed";
    } else {
      status = platform::StartRegisteredService(kService, &error);
      done = "is running";
    }
    // A removal out of the ordinary says how it went.
    if (status != 0 || !error.empty()) {
      std::fprintf(stderr, "kivo-watch: %s\n", error.c_str());
      return status;
    }
    std::fprintf(stderr, "kivo-watch: the service %s %s\n", kService.name, done);
    return 0;
  }
  if (argc > 1 && option != "--service") {
    const bool help = argc == 2 && cli::AsksForUsage(option);
    std::fputs(cli::WatchUsage().c_str(), help ? stdout : stderr);
    return help ? 0 : 64;
  }

  // The stop request (SIGTERM, SIGINT, a console close, the service's STOP)
  // is taken by one waiting thread, never delivered asynchronously; it is set
  // up before any thread starts. A closed standard output is reported by the
  // failed write.
  platform::StopRequest stopRequest;
  DiagnosticOutput diagnostics(stderr, platform::StandardErrorIsJournal());
  if (option.empty()) return Watch(stopRequest, nullptr, diagnostics);

  std::string error;
  const int status = platform::RunService(
      kService,
      [&] {
        std::string openError;
        std::unique_ptr<platform::EventLog> log =
            platform::OpenApplicationLog(kService.eventSource, &openError);
        if (log == nullptr) {
          diagnostics.Report(EventSeverity::Error, kWatchFailureEventId, openError);
          return 1;
        }
        EventLogOutput output(*log);
        // A service's standard error reaches nobody: its diagnostics are
        // entries too, the stop among them.
        diagnostics.UseEventLog(log.get());
        const int status = Watch(stopRequest, &output, diagnostics);
        diagnostics.UseEventLog(nullptr);
        return status;
      },
      [&] { stopRequest.Raise(); }, &error);
  if (!error.empty()) diagnostics.Report(EventSeverity::Error, kWatchFailureEventId, error);
  return status;
}
