// PollSocketWatcher: a SocketWatcher driven by poll(2) on the calling thread,
// for headless programs, tests and benchmarks. Not thread-safe: watch and
// dispatch from one thread.
#pragma once

#include <chrono>
#include <functional>
#include <map>

#include "platform/SocketWatcher.h"

namespace kivo::platform {

class PollSocketWatcher : public SocketWatcher {
 public:
  void Watch(int fd, Callback callback) override;
  void Unwatch(int fd) override;

  // Waits at most timeoutMs for a watched descriptor to become readable and
  // calls the callback of each one that is (in descriptor order). Returns the
  // number of callbacks run; 0 on time-out or when nothing is watched.
  int RunOnce(int timeoutMs);
  // Runs callbacks, calling `after` after each round, until done() is true or
  // the time is up; returns done(). A bound for tests, not a sleep.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                const std::function<void()>& after = {});

  bool IsWatching(int fd) const { return callbacks_.count(fd) != 0; }
  int Watched() const { return static_cast<int>(callbacks_.size()); }

 private:
  std::map<int, Callback> callbacks_;
};

}  // namespace kivo::platform
