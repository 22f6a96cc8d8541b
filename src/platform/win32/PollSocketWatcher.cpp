// PollSocketWatcher on Winsock: one WSAPoll per round over the watched
// sockets.
#include "platform/PollSocketWatcher.h"

#include <algorithm>
#include <vector>

#include "platform/TcpSocket.h"

// After the platform headers: <winsock2.h> defines macros of the same names.
#include <winsock2.h>

#include <windows.h>

namespace kivo::platform {

int PollSocketWatcher::RunOnce(int timeoutMs) {
  if (callbacks_.empty()) {
    // Nothing to wait for: only the time passes, as in an idle message loop.
    if (timeoutMs > 0) ::Sleep(static_cast<::DWORD>(timeoutMs));
    return 0;
  }
  std::vector<WSAPOLLFD> fds;
  for (const auto& entry : callbacks_) {
    fds.push_back(WSAPOLLFD{static_cast<SOCKET>(static_cast<unsigned>(entry.first)), POLLRDNORM, 0});
  }
  // Wake no later than the first time limit.
  for (const auto& [fd, deadline] : deadlines_) {
    const long long left = std::max<long long>(0, (deadline - clock_->Now()) * 1000LL);
    if (timeoutMs < 0 || left < timeoutMs) timeoutMs = static_cast<int>(std::min<long long>(left, 1 << 30));
  }
  const int ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
  if (ready < 0) return 0;
  int ran = 0;
  for (const WSAPOLLFD& p : fds) {
    if (p.revents == 0) continue;
    // A callback may unwatch other sockets (or its own): look again, and run
    // a copy so the callback survives its own Unwatch.
    auto it = callbacks_.find(static_cast<int>(p.fd));
    if (it == callbacks_.end()) continue;
    Callback callback = it->second;
    int errorCode = 0;
    if ((p.revents & POLLERR) != 0) {
      int error = 0;
      int size = sizeof error;
      if (::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0) {
        errorCode = error;
      }
    }
    callback(errorCode);
    ++ran;
  }
  // Limits that passed without a report; each ends as it fires.
  const std::time_t now = clock_->Now();
  for (const WSAPOLLFD& p : fds) {
    auto limit = deadlines_.find(static_cast<int>(p.fd));
    if (p.revents != 0 || limit == deadlines_.end() || limit->second > now) continue;
    deadlines_.erase(limit);
    auto it = callbacks_.find(static_cast<int>(p.fd));
    if (it == callbacks_.end()) continue;
    Callback callback = it->second;
    callback(WSAETIMEDOUT);
    ++ran;
  }
  return ran;
}

}  // namespace kivo::platform
