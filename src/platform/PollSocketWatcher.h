// PollSocketWatcher: a SocketWatcher driven by poll(2) on the calling thread,
// for headless programs, tests and benchmarks. Not thread-safe: watch and
// dispatch from one thread.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <vector>

#include "platform/Clock.h"
#include "platform/SocketWatcher.h"

namespace kivo::platform {

class PollSocketWatcher : public SocketWatcher {
 public:
  // Time limits are measured on `clock` (not owned; the system clock when
  // nullptr), so tests move them on with a FakeClock.
  explicit PollSocketWatcher(Clock* clock = nullptr) : clock_(clock != nullptr ? clock : &systemClock_) {}

  void Watch(int fd, Callback callback) override;
  void Unwatch(int fd) override;
  void SetTimeLimit(int fd, std::uint32_t ms) override;

  // Waits at most timeoutMs for a watched descriptor to become readable and
  // calls the callback of each one that is (in descriptor order), then that
  // of each one whose time limit has passed. Returns the number of callbacks
  // run; 0 on time-out or when nothing is watched.
  int RunOnce(int timeoutMs);
  // Runs callbacks, calling `after` after each round, until done() is true or
  // the time is up; returns done(). A bound for tests, not a sleep.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                const std::function<void()>& after = {});

  bool IsWatching(int fd) const { return callbacks_.count(fd) != 0; }
  int Watched() const { return static_cast<int>(callbacks_.size()); }

 private:
  // timeoutMs, shortened to end no later than the first time limit.
  int LimitedTimeout(int timeoutMs) const;
  // Runs, with WSAETIMEDOUT, the callback of each of these descriptors (the
  // ones not reported this round) whose limit has passed; each limit ends as
  // it fires. Returns the callbacks run.
  int RunPassedLimits(const std::vector<int>& quiet);

  std::map<int, Callback> callbacks_;
  std::map<int, std::time_t> deadlines_;
  SystemClock systemClock_;
  Clock* clock_;
};

}  // namespace kivo::platform
