// TrayIcon: the program's icon in the notification area (Shell_NotifyIconA
// with the first, 88-byte record layout, id 128, callback message 1025) and
// the popup of menu 200 shown on a right-button release.
#pragma once

#include <string>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class TrayIcon {
 public:
  static constexpr UINT kTrayIconId = 128;
  static constexpr UINT kTrayCallback = 1025;  // WM_USER + 1
  // cbSize of the record as the first shell version knows it.
  static constexpr DWORD kRecordSize = 88;

  // The platform's result (nonzero on success); the caller does not look.
  static BOOL AddTrayIcon(HWND window, UINT id, HICON icon, const std::string& tip);
  static BOOL RemoveTrayIcon(HWND window, UINT id);

  // What a mouse message over the icon asks of the window.
  enum class TrayAction { kNone, kShowAlert, kMenu };
  static TrayAction ActionOfMouseMessage(LPARAM mouseMessage);
  // Loads menu 200, shows its first popup at the cursor with the window in the
  // foreground; the chosen item arrives at the window as a command.
  static void ShowMenu(HINSTANCE instance, HWND window);
};

}  // namespace kivo::win32ui
