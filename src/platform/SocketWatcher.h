// SocketWatcher: how the owner of a socket learns that it can be read. The Qt
// shell implements it with QSocketNotifier; tests and benchmarks use
// PollSocketWatcher. Only the user-interface thread watches and dispatches.
#pragma once

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
};

}  // namespace kivo::platform
