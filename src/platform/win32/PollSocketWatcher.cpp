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
  timeoutMs = LimitedTimeout(timeoutMs);
  const int ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
  if (ready < 0) return 0;
  int ran = 0;
  std::vector<int> quiet;  // not reported this round: their limits may pass
  for (const WSAPOLLFD& p : fds) {
    if (p.revents == 0) {
      quiet.push_back(static_cast<int>(p.fd));
      continue;
    }
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
  return ran + RunPassedLimits(quiet);
}

}  // namespace kivo::platform
