// SocketWatcher: how the owner of a socket learns that it can be read. The Qt
// shell implements it with QSocketNotifier; tests and benchmarks use
// PollSocketWatcher. Only the user-interface thread watches and dispatches.
// A watch may carry a time limit, so a silent peer cannot leave its owner
// waiting for ever.
#pragma once

#include <cstdint>
#include <functional>

namespace kivo::platform {

class SocketWatcher {
 public:
  // Called on the watching thread when the descriptor is readable (data, an
  // orderly close or an error). errorCode is a Winsock code when the
  // descriptor reports a pending error, else 0.
  using Callback = std::function<void(int errorCode)>;

  virtual ~SocketWatcher() = default;
  // Starts watching fd; a second Watch of the same fd replaces its callback.
  virtual void Watch(int fd, Callback callback) = 0;
  // Stops watching fd; unknown descriptors are ignored. May be called from
  // inside fd's own callback (the callback's owner may be deleted there), so
  // an implementation must not destroy or touch the running callback's state
  // after it returns.
  virtual void Unwatch(int fd) = 0;
  // (Re)starts a time limit on a watched fd: when it has not been reported
  // readable within `ms`, its callback runs once with WSAETIMEDOUT and the
  // limit ends. A readable report does not end the limit (a reply may come in
  // pieces); 0 ends it, and so does Unwatch. Unwatched descriptors are
  // ignored. The time is the watcher's clock's, to the second.
  virtual void SetTimeLimit(int fd, std::uint32_t ms) = 0;
};

}  // namespace kivo::platform
