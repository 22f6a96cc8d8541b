// AsyncSocketWatcher: read readiness of the SMTP socket as window messages.
// WSAAsyncSelect asks Winsock to post kSocketMessage to the main window when
// the socket can be read (FD_READ) or the server closed it (FD_CLOSE); the
// window hands the message to Dispatch, which runs the owner's callback on
// the user-interface thread.
#pragma once

#include <map>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class AsyncSocketWatcher : public platform::SocketWatcher {
 public:
  // A private window message, clear of the ones the main window names.
  static constexpr UINT kSocketMessage = WM_USER + 300;

  void SetWindow(HWND window) { window_ = window; }
  void Watch(int fd, Callback callback) override;
  void Unwatch(int fd) override;
  // kSocketMessage: wParam the socket, lParam the event and its error.
  void Dispatch(WPARAM wParam, LPARAM lParam);
  bool IsWatching(int fd) const { return callbacks_.count(fd) != 0; }

 private:
  HWND window_ = nullptr;
  std::map<int, Callback> callbacks_;
};

}  // namespace kivo::win32ui
