// AsyncSocketWatcher: read readiness of the SMTP socket as window messages.
// WSAAsyncSelect asks Winsock to post kSocketMessage to the main window when
// the socket can be read (FD_READ) or the server closed it (FD_CLOSE); the
// window hands the message to Dispatch, which runs the owner's callback on
// the user-interface thread. Time limits run on one window timer that ticks
// each second while any limit is set.
#pragma once

#include <cstdint>
#include <map>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class AsyncSocketWatcher : public platform::SocketWatcher {
 public:
  // A private window message, clear of the ones the main window names.
  static constexpr UINT kSocketMessage = WM_USER + 300;
  // The main window's timer for the time limits, clear of its own timers.
  static constexpr UINT_PTR kTimeLimitTimer = 0x4B31;

  void SetWindow(HWND window) { window_ = window; }
  void Watch(int fd, Callback callback) override;
  void Unwatch(int fd) override;
  void SetTimeLimit(int fd, std::uint32_t ms) override;
  // kSocketMessage: wParam the socket, lParam the event and its error.
  void Dispatch(WPARAM wParam, LPARAM lParam);
  // WM_TIMER kTimeLimitTimer: runs the callback of each socket whose limit
  // has passed with WSAETIMEDOUT; each limit ends as it fires.
  void CheckTimeLimits();
  bool IsWatching(int fd) const { return callbacks_.count(fd) != 0; }

 private:
  HWND window_ = nullptr;
  void UpdateTimer();

  std::map<int, Callback> callbacks_;
  std::map<int, ULONGLONG> deadlines_;  // GetTickCount64 values
  bool timerSet_ = false;
};

}  // namespace kivo::win32ui
