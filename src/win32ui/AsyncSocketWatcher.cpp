// Socket notifications posted to the main window.
#include "win32ui/AsyncSocketWatcher.h"

namespace kivo::win32ui {

void AsyncSocketWatcher::Watch(int fd, Callback callback) {
  callbacks_[fd] = std::move(callback);
  WSAAsyncSelect(static_cast<SOCKET>(fd), window_, kSocketMessage, FD_READ | FD_CLOSE);
}

void AsyncSocketWatcher::Unwatch(int fd) {
  if (deadlines_.erase(fd) != 0) UpdateTimer();
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

void AsyncSocketWatcher::SetTimeLimit(int fd, std::uint32_t ms) {
  if (ms == 0 || callbacks_.count(fd) == 0) {
    deadlines_.erase(fd);
  } else {
    deadlines_[fd] = GetTickCount64() + ms;
  }
  UpdateTimer();
}

void AsyncSocketWatcher::CheckTimeLimits() {
  const ULONGLONG now = GetTickCount64();
  for (auto it = deadlines_.begin(); it != deadlines_.end();) {
    if (it->second > now) {
      ++it;
      continue;
    }
    const int fd = it->first;
    it = deadlines_.erase(it);
    const auto found = callbacks_.find(fd);
    if (found == callbacks_.end()) continue;
    // The callback may let go of other sockets: run a copy, then look again.
    const Callback callback = found->second;
    callback(WSAETIMEDOUT);
    it = deadlines_.upper_bound(fd);
  }
  UpdateTimer();
}

void AsyncSocketWatcher::UpdateTimer() {
  if (window_ == nullptr) return;
  const bool wanted = !deadlines_.empty();
  if (wanted && !timerSet_) SetTimer(window_, kTimeLimitTimer, 1000, nullptr);
  if (!wanted && timerSet_) KillTimer(window_, kTimeLimitTimer);
  timerSet_ = wanted;
}

}  // namespace kivo::win32ui
