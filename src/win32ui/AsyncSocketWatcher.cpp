// Socket notifications posted to the main window.
#include "win32ui/AsyncSocketWatcher.h"

namespace kivo::win32ui {

void AsyncSocketWatcher::Watch(int fd, Callback callback) {
  callbacks_[fd] = std::move(callback);
  WSAAsyncSelect(static_cast<SOCKET>(fd), window_, kSocketMessage, FD_READ | FD_CLOSE);
}

void AsyncSocketWatcher::Unwatch(int fd) {
  if (callbacks_.erase(fd) == 0) return;
  // No more notifications; the socket stays non-blocking as Winsock left it.
  WSAAsyncSelect(static_cast<SOCKET>(fd), window_, 0, 0);
}

void AsyncSocketWatcher::Dispatch(WPARAM wParam, LPARAM lParam) {
  const int fd = static_cast<int>(wParam);
  const auto found = callbacks_.find(fd);
  // A notification already queued when the socket was let go.
  if (found == callbacks_.end()) return;
  // The callback may unwatch the socket and delete its owner: run a copy.
  const Callback callback = found->second;
  callback(WSAGETSELECTERROR(lParam));
}

}  // namespace kivo::win32ui
