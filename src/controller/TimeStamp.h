// TimeStamp: the moment something happened, as local time and as the time
// text of report headers, the main window and event lines. Any thread may
// use its own instance.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Clock.h"

namespace kivo {

// "Sun Sep 09 01:46:40 2001": English names whatever the process locale.
constexpr const char* kTimeTextFormat = "%a %b %d %H:%M:%S %Y";

class TimeStamp {
 public:
  // Takes the clock's calendar time and its broken-down local time.
  void Now(platform::Clock& clock);
  // Formats the broken-down time (at most 127 characters) and returns the
  // text, valid while this object lives and until the next Text.
  const char* Text();

  std::int32_t CalendarTime() const { return calendarTime_; }
  // second, minute, hour, day of month, month, years since 1900, weekday,
  // day of year, daylight-saving flag: the order of struct tm.
  const std::array<std::int32_t, 9>& LocalTime() const { return localTime_; }

 private:
  std::int32_t calendarTime_ = 0;
  std::array<std::int32_t, 9> localTime_{};
  std::array<char, 128> text_{};
};
static_assert(sizeof(TimeStamp) == 4 + 36 + 128);

}  // namespace kivo
