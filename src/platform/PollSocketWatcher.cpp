// PollSocketWatcher: what both platforms share (the watch list, the time
// limits and the bounded run for tests); each platform's poll call in RunOnce
// lives in posix/ or win32/.
#include "platform/PollSocketWatcher.h"

#include <algorithm>

#include "platform/TcpSocket.h"

namespace kivo::platform {

void PollSocketWatcher::Watch(int fd, Callback callback) {
  callbacks_[fd] = std::move(callback);
}

void PollSocketWatcher::Unwatch(int fd) {
  callbacks_.erase(fd);
  deadlines_.erase(fd);
}

void PollSocketWatcher::SetTimeLimit(int fd, std::uint32_t ms) {
  if (ms == 0 || callbacks_.count(fd) == 0) {
    deadlines_.erase(fd);
    return;
  }
  deadlines_[fd] = clock_->Now() + static_cast<std::time_t>((ms + 999) / 1000);
}

int PollSocketWatcher::LimitedTimeout(int timeoutMs) const {
  for (const auto& [fd, deadline] : deadlines_) {
    const long long left = std::max<long long>(0, (deadline - clock_->Now()) * 1000LL);
    if (timeoutMs < 0 || left < timeoutMs) timeoutMs = static_cast<int>(std::min<long long>(left, 1 << 30));
  }
  return timeoutMs;
}

int PollSocketWatcher::RunPassedLimits(const std::vector<int>& quiet) {
  const std::time_t now = clock_->Now();
  int ran = 0;
  for (int fd : quiet) {
    auto limit = deadlines_.find(fd);
    if (limit == deadlines_.end() || limit->second > now) continue;
    deadlines_.erase(limit);
    auto it = callbacks_.find(fd);
    if (it == callbacks_.end()) continue;
    Callback callback = it->second;
    callback(WSAETIMEDOUT);
    ++ran;
  }
  return ran;
}

bool PollSocketWatcher::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                                 const std::function<void()>& after) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return done();
    // Short rounds so that `after` (the test's posted messages) runs often.
    RunOnce(static_cast<int>(std::min<long long>(left.count(), 50)));
    if (after) after();
  }
  return true;
}

}  // namespace kivo::platform
