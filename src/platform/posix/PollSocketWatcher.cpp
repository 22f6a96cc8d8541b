// PollSocketWatcher: one poll(2) per round over the watched descriptors.
#include "platform/PollSocketWatcher.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/TcpSocket.h"

namespace kivo::platform {

int PollSocketWatcher::RunOnce(int timeoutMs) {
  if (callbacks_.empty()) {
    // Nothing to wait for: only the time passes, as in an idle message loop.
    if (timeoutMs > 0) ::poll(nullptr, 0, timeoutMs);
    return 0;
  }
  std::vector<pollfd> fds;
  for (const auto& entry : callbacks_) fds.push_back(pollfd{entry.first, POLLIN, 0});
  timeoutMs = LimitedTimeout(timeoutMs);
  int ready = ::poll(fds.data(), fds.size(), timeoutMs);
  if (ready < 0) return 0;
  int ran = 0;
  std::vector<int> quiet;  // not reported this round: their limits may pass
  for (const pollfd& p : fds) {
    if (p.revents == 0) {
      quiet.push_back(p.fd);
      continue;
    }
    // A callback may unwatch other descriptors (or its own): look again, and
    // run a copy so the callback survives its own Unwatch.
    auto it = callbacks_.find(p.fd);
    if (it == callbacks_.end()) continue;
    Callback callback = it->second;
    int errorCode = 0;
    if ((p.revents & POLLERR) != 0) {
      int error = 0;
      socklen_t size = sizeof error;
      if (::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0) {
        errorCode = WinsockErrorFromErrno(error);
      }
    }
    callback(errorCode);
    ++ran;
  }
  return ran + RunPassedLimits(quiet);
}

}  // namespace kivo::platform
