// FakeClock: virtual time for tests. In automatic mode a Sleep returns at once
// and moves the time on; in manual mode a Sleep blocks until the test moves
// the time past its end (Advance, AdvanceToNextWake) or its stop signal rises.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/Clock.h"

namespace kivo::test {

class FakeClock : public platform::Clock {
 public:
  // 1000000000 is Sun Sep 09 01:46:40 2001 UTC.
  explicit FakeClock(bool automatic = true, std::time_t start = 1000000000);

  std::time_t Now() override;
  bool Sleep(std::uint32_t ms, const platform::StopSignal* stop = nullptr) override;

  void SetNow(std::time_t now);
  void Advance(std::uint64_t ms);
  // Moves the time to the earliest end of a pending sleep; false when no
  // thread sleeps within a real second.
  bool AdvanceToNextWake();
  // Blocks (at most a few real seconds) until `count` threads are in Sleep.
  bool WaitForSleepers(int count);
  int Sleepers();
  std::uint64_t ElapsedMs();
  // Every sleep asked for, in order.
  std::vector<std::uint32_t> Sleeps();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool automatic_;
  std::time_t start_;
  std::uint64_t elapsedMs_ = 0;
  std::vector<std::uint32_t> sleeps_;
  std::vector<std::uint64_t> wakeTimes_;
};

}  // namespace kivo::test
