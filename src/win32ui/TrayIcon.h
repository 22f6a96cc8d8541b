// TrayIcon: the program's icon in the notification area (Shell_NotifyIconA
// with the record's first layout, id 128, callback message 1025) and
// the popup of menu 200 shown on a right-button release.
#pragma once

#include <cstddef>
#include <string>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class TrayIcon {
 public:
  static constexpr UINT kTrayIconId = 128;
  static constexpr UINT kTrayCallback = 1025;  // WM_USER + 1
  // cbSize of the record's first layout on this platform: the fields up to a
  // 64-character tip. That is 88 bytes in a 32-bit program but 104 in a 64-bit
  // one, whose shell takes no other size for this layout.
  static constexpr DWORD kRecordSize = offsetof(NOTIFYICONDATAA, szTip) + 64;

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
