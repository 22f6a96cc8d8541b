// MonitorEventHandler: the main window's handler of MonitorMessage, on the
// user-interface thread. It takes the text the monitor thread left in
// PendingText, shows it in the alert window, rescans and shows the event's
// controller, appends the line to ReportText and restarts the thread when the
// thread says monitoring is healthy again. The thread hands over the first
// error of a failing period only; it is shown framed as a message line.
#pragma once

#include <cstdint>
#include <string>

namespace kivo {

namespace platform {
class Clock;
}
class MonitorWindow;

class MonitorEventHandler {
 public:
  // `clock` gives the time text of the lines framed here.
  MonitorEventHandler(platform::Clock& clock, MonitorWindow& window) : clock_(clock), window_(window) {}

  // Handles one MonitorMessage (the lParam is 0 and not read); returns 1.
  int Handle(std::uint32_t wParam);

 private:
  void Show(const std::string& line);

  platform::Clock& clock_;
  MonitorWindow& window_;
};

}  // namespace kivo
