// LocalTime on Windows: the C runtime's thread-safe localtime_s.
#include <time.h>

#include "platform/Clock.h"

namespace kivo::platform {

bool LocalTime(std::time_t time, std::tm* local) {
  return localtime_s(local, &time) == 0;
}

}  // namespace kivo::platform
