// The clock and sleep seam. Everything that reads the calendar time or sleeps
// goes through a Clock, so tests drive time with FakeClock (tests/support).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>

namespace kivo::platform {

// A one-way signal that ends interruptible sleeps (used to stop a worker
// thread before the objects it writes go away).
class StopSignal {
 public:
  void Raise();
  bool Raised() const;
  // Waits until the signal is raised or `ms` milliseconds have passed on the
  // steady clock; true when raised.
  bool WaitFor(std::uint32_t ms) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable raised_;
  bool isRaised_ = false;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Calendar time, as time() gives it.
  virtual std::time_t Now() = 0;
  // Sleeps `ms` milliseconds (Win32 Sleep). With a stop signal the sleep ends
  // early when the signal is raised; the result is false in that case.
  virtual bool Sleep(std::uint32_t ms, const StopSignal* stop = nullptr) = 0;
};

// The real clock: time() and the steady clock.
class SystemClock : public Clock {
 public:
  std::time_t Now() override;
  bool Sleep(std::uint32_t ms, const StopSignal* stop = nullptr) override;
};

// Divides every sleep by a factor (KIVO_TIME_SCALE) for demonstrations and
// whole-program tests; the calendar time is the base clock's.
class ScaledClock : public Clock {
 public:
  ScaledClock(Clock& base, double factor) : base_(base), factor_(factor > 0 ? factor : 1) {}
  std::time_t Now() override { return base_.Now(); }
  bool Sleep(std::uint32_t ms, const StopSignal* stop = nullptr) override;
  double Factor() const { return factor_; }

 private:
  Clock& base_;
  double factor_;
};

// The local calendar time of `time` (localtime_r on Linux, localtime_s on
// Windows); false when the system cannot convert it.
bool LocalTime(std::time_t time, std::tm* local);

// KIVO_TIME_SCALE from the environment: a positive number, default 1. A value
// that does not parse is reported on standard error and ignored.
double TimeScaleFromEnvironment();

}  // namespace kivo::platform
