// FakeClock implementation: one mutex guards the virtual time and the sleepers.
#include "support/FakeClock.h"

#include <algorithm>
#include <chrono>

namespace kivo::test {

using namespace std::chrono_literals;

FakeClock::FakeClock(bool automatic, std::time_t start) : automatic_(automatic), start_(start) {}

std::time_t FakeClock::Now() {
  std::lock_guard lock(mutex_);
  return start_ + static_cast<std::time_t>(elapsedMs_ / 1000);
}

bool FakeClock::Sleep(std::uint32_t ms, const platform::StopSignal* stop) {
  std::unique_lock lock(mutex_);
  sleeps_.push_back(ms);
  if (automatic_) {
    if (stop != nullptr && stop->Raised()) return false;
    elapsedMs_ += ms;
    return true;
  }
  std::uint64_t wake = elapsedMs_ + ms;
  wakeTimes_.push_back(wake);
  changed_.notify_all();
  bool stopped = false;
  while (elapsedMs_ < wake) {
    if (stop != nullptr && stop->Raised()) {
      stopped = true;
      break;
    }
    // The stop signal has its own condition variable; look at it often.
    changed_.wait_for(lock, 2ms);
  }
  wakeTimes_.erase(std::find(wakeTimes_.begin(), wakeTimes_.end(), wake));
  changed_.notify_all();
  return !stopped;
}

void FakeClock::SetNow(std::time_t now) {
  std::lock_guard lock(mutex_);
  start_ = now - static_cast<std::time_t>(elapsedMs_ / 1000);
}

void FakeClock::Advance(std::uint64_t ms) {
  {
    std::lock_guard lock(mutex_);
    elapsedMs_ += ms;
  }
  changed_.notify_all();
}

bool FakeClock::AdvanceToNextWake() {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, 1s, [this] { return !wakeTimes_.empty(); })) return false;
  elapsedMs_ = std::max(elapsedMs_, *std::min_element(wakeTimes_.begin(), wakeTimes_.end()));
  changed_.notify_all();
  return true;
}

bool FakeClock::WaitForSleepers(int count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, 5s, [&] { return static_cast<int>(wakeTimes_.size()) >= count; });
}

int FakeClock::Sleepers() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(wakeTimes_.size());
}

std::uint64_t FakeClock::ElapsedMs() {
  std::lock_guard lock(mutex_);
  return elapsedMs_;
}

std::vector<std::uint32_t> FakeClock::Sleeps() {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

}  // namespace kivo::test
