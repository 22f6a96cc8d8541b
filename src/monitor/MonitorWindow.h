// MonitorWindow: what the monitor thread and the MonitorMessage handler need
// of the main window. The Qt main window implements it, and so does
// kivo-watch for the console; tests use a recording double.
//
// Thread side (any thread): PostMonitorMessage and the three shared fields.
// Window side (the user-interface thread only): everything else.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kivo {

// Window message 1026 (the platform's first user message plus 2) and its
// wParam values. Any other wParam is handled as an event number.
constexpr std::uint32_t MonitorMessage = 1026;
constexpr std::uint32_t EventReady = 0xFFFD;
constexpr std::uint32_t RestartMonitor = 0xFFFE;
constexpr std::uint32_t ErrorReady = 0xFFFF;

// Each controller box entry reads this followed by the controller id in
// decimal, with no blank after the colon.
inline constexpr char kControllerEntryPrefix[] = "Controller SCSI ID:";

class MonitorWindow {
 public:
  virtual ~MonitorWindow() = default;

  // --- Thread side: safe from any thread. ---

  // Queues MonitorMessage with this wParam (lParam 0) for the window's own
  // thread and returns at once; the handler runs later on that thread.
  virtual void PostMonitorMessage(std::uint32_t wParam) = 0;

  // 1 while monitoring is healthy, 0 while it is failing; 1 at construction.
  int MonitorState() const { return monitorState_.load(); }
  void SetMonitorState(int state) { monitorState_.store(state); }
  // The last monitoring error line (control 1031), empty at construction.
  std::string StatusLine() const {
    std::lock_guard guard(statusMutex_);
    return statusLine_;
  }
  void SetStatusLine(const std::string& line) {
    std::lock_guard guard(statusMutex_);
    statusLine_ = line;
  }
  // Controller id of the last event the monitor thread handed over.
  int LastEventController() const { return lastEventController_.load(); }
  void SetLastEventController(int controllerId) { lastEventController_.store(controllerId); }

  // --- Window side: the user-interface thread only. ---

  // The Update button's operation: take the controller box's selection,
  // rescan every controller, show the selected one, push the display texts.
  virtual void Refresh() = 0;
  // Puts the line on top of the alert window's text, shows the window and
  // (re)starts its alarm. Empty text shows the window with its text unchanged.
  virtual void ShowAlert(const std::string& line) = 0;
  // Index of the controller box entry whose whole text equals `text`; -1 when
  // there is none.
  virtual int FindControllerEntry(const std::string& text) = 0;
  // The inventory scan over the window's controller records, with the given
  // first-time flag; error boxes stay off. (Implementations call the free
  // function as kivo::ScanControllers, which this name hides.)
  virtual void ScanControllers(int firstTime) = 0;
  // Sets the display texts for the controller at `row` and rebuilds the
  // controller box with that entry selected.
  virtual void ShowController(int firstTime, int row) = 0;
  // Pushes the display texts (and StatusLine) into the window's controls.
  virtual void PushDisplayTexts() = 0;
  // Starts a new monitor thread for this window (after the previous one has
  // handed over with RestartMonitor). MessageLock is already created.
  virtual void StartMonitorThread() = 0;

 private:
  std::atomic<int> monitorState_{1};
  std::atomic<int> lastEventController_{0};
  mutable std::mutex statusMutex_;
  std::string statusLine_;
};

}  // namespace kivo
