// PollSocketWatcher: what both platforms share (the watch list, the time
// limits and the bounded run for tests); each platform's poll round, RunOnce,
// lives in posix/ or win32/.
#include "platform/PollSocketWatcher.h"

#include <algorithm>

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
