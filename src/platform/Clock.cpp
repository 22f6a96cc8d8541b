// SystemClock, ScaledClock and StopSignal.
#include "platform/Clock.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace kivo::platform {

void StopSignal::Raise() {
  {
    std::lock_guard lock(mutex_);
    isRaised_ = true;
  }
  raised_.notify_all();
}

bool StopSignal::Raised() const {
  std::lock_guard lock(mutex_);
  return isRaised_;
}

bool StopSignal::WaitFor(std::uint32_t ms) const {
  std::unique_lock lock(mutex_);
  return raised_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return isRaised_; });
}

std::time_t SystemClock::Now() {
  return std::time(nullptr);
}

bool SystemClock::Sleep(std::uint32_t ms, const StopSignal* stop) {
  if (stop == nullptr) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
  }
  return !stop->WaitFor(ms);
}

bool ScaledClock::Sleep(std::uint32_t ms, const StopSignal* stop) {
  // A scaled wait never drops to zero, so a large factor cannot turn a
  // waiting loop into a spinning one.
  std::uint32_t scaled = static_cast<std::uint32_t>(ms / factor_);
  if (ms > 0 && scaled == 0) scaled = 1;
  return base_.Sleep(scaled, stop);
}

double TimeScaleFromEnvironment() {
  const char* text = std::getenv("KIVO_TIME_SCALE");
  if (text == nullptr || *text == '\0') return 1.0;
  // from_chars, unlike strtod, does not follow the process locale.
  double value = 0;
  const char* last = text + std::strlen(text);
  auto [end, error] = std::from_chars(text, last, value);
  if (error != std::errc() || end != last || !(value > 0) || value > 1e6) {
    std::fprintf(stderr, "kivo: ignoring KIVO_TIME_SCALE=\"%s\": not a positive number\n", text);
    return 1.0;
  }
  return value;
}

}  // namespace kivo::platform
