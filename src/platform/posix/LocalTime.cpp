// LocalTime on Linux: the thread-safe localtime_r.
#include <time.h>

#include "platform/Clock.h"

namespace kivo::platform {

bool LocalTime(std::time_t time, std::tm* local) {
  return localtime_r(&time, local) != nullptr;
}

}  // namespace kivo::platform
