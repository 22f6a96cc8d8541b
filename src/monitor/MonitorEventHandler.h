// MonitorEventHandler: the main window's handler of MonitorMessage, on the
// user-interface thread. It takes the text the monitor thread left in
// PendingText, shows it in the alert window, rescans and shows the event's
// controller, appends the line to ReportText and restarts the thread when the
// thread says monitoring is healthy again. The thread hands over the first
// error of a failing period only; it is shown framed as a message line.
//
// The thread posts one EventReady per line, but the first message the window
// handles takes every line waiting: the lines that arrived together are one
// batch, shown as one alert with one rescan. The messages of the lines it
// took find nothing and do nothing, so a burst of a hundred events costs one
// or a few rescans, not two hundred.
#pragma once

#include <cstdint>
#include <string>

namespace kivo {

namespace platform {
class Clock;
}
class MonitorWindow;
class TextBuffer;

class MonitorEventHandler {
 public:
  // `clock` gives the time text of the lines framed here. Shown lines are
  // appended to `record` (the window's ReportText, which Snapshot and the
  // clipboard read); null keeps no record, for a window that never reads it.
  MonitorEventHandler(platform::Clock& clock, MonitorWindow& window, TextBuffer* record);

  // Handles one MonitorMessage (the lParam is 0 and not read); returns 1.
  int Handle(std::uint32_t wParam);

 private:
  // `rescanned`: the controllers were just rescanned for this message.
  void Show(const std::string& line, bool rescanned);
  void Record(const std::string& line);

  platform::Clock& clock_;
  MonitorWindow& window_;
  TextBuffer* record_;
};

}  // namespace kivo
