// The notification-area icon and its menu.
#include "win32ui/TrayIcon.h"

#include <cstring>

namespace kivo::win32ui {

namespace {

// The record's first layout: the shell reads only its fields when cbSize
// says so, whatever the headers' present record holds.
NOTIFYICONDATAA EmptyRecord(HWND window, UINT id) {
  NOTIFYICONDATAA data;
  std::memset(&data, 0, sizeof data);
  data.cbSize = TrayIcon::kRecordSize;
  data.hWnd = window;
  data.uID = id;
  return data;
}

}  // namespace

BOOL TrayIcon::AddTrayIcon(HWND window, UINT id, HICON icon, const std::string& tip) {
  NOTIFYICONDATAA data = EmptyRecord(window, id);
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallback;
  data.hIcon = icon;
  // At most 63 characters and the NUL fit the first layout's tip.
  std::strncpy(data.szTip, tip.c_str(), 63);
  data.szTip[63] = '\0';
  return Shell_NotifyIconA(NIM_ADD, &data);
}

BOOL TrayIcon::RemoveTrayIcon(HWND window, UINT id) {
  NOTIFYICONDATAA data = EmptyRecord(window, id);
  return Shell_NotifyIconA(NIM_DELETE, &data);
}

TrayIcon::TrayAction TrayIcon::ActionOfMouseMessage(LPARAM mouseMessage) {
  switch (static_cast<UINT>(mouseMessage)) {
    case WM_LBUTTONDBLCLK:
      return TrayAction::kShowAlert;
    case WM_RBUTTONUP:
      return TrayAction::kMenu;
    default:
      return TrayAction::kNone;
  }
}

void TrayIcon::ShowMenu(HINSTANCE instance, HWND window) {
  HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
  if (menu == nullptr) return;
  POINT cursor{};
  GetCursorPos(&cursor);
  // Also while the window is hidden: the menu then closes when the user
  // clicks elsewhere.
  SetForegroundWindow(window);
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window, nullptr);
  // Without a message after it, a menu opened from the notification area does
  // not close the next time the user clicks elsewhere.
  PostMessageA(window, WM_NULL, 0, 0);
  DestroyMenu(menu);
}

}  // namespace kivo::win32ui
