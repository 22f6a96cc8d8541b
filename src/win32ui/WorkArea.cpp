// Centring in the work area; see WorkArea.h.
#include "win32ui/WorkArea.h"

#include <algorithm>

namespace kivo::win32ui {

void CenterInWorkArea(HWND window) {
  RECT frame{};
  GetWindowRect(window, &frame);
  MONITORINFO screen{};
  screen.cbSize = sizeof screen;
  GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &screen);
  const RECT& area = screen.rcWork;
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  SetWindowPos(window, nullptr, area.left + std::max(0L, (area.right - area.left - width) / 2),
               area.top + std::max(0L, (area.bottom - area.top - height) / 2), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kivo::win32ui
