// TimeStamp: the platform's local time, written with the English names of
// the "C" locale by hand, so the toolkit's setlocale(LC_ALL, "") cannot turn
// "Sun" into "So".
#include "controller/TimeStamp.h"

#include <cstdio>

namespace kivo {
namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The name at index, or "?" outside the table (as strftime writes it).
template <std::size_t N>
const char* NameAt(const char* const (&names)[N], int index) {
  return index >= 0 && static_cast<std::size_t>(index) < N ? names[index] : "?";
}

}  // namespace

void TimeStamp::Now(platform::Clock& clock) {
  std::time_t now = clock.Now();
  // The record keeps 32 bits; the local time is taken from the full value so
  // that dates past 2038 still read right.
  calendarTime_ = static_cast<std::int32_t>(now);
  struct tm local {};
  if (!platform::LocalTime(now, &local)) local = tm{};
  localTime_ = {local.tm_sec,  local.tm_min,  local.tm_hour, local.tm_mday, local.tm_mon,
                local.tm_year, local.tm_wday, local.tm_yday, local.tm_isdst};
}

const char* TimeStamp::Text() {
  struct tm local {};
  local.tm_sec = localTime_[0];
  local.tm_min = localTime_[1];
  local.tm_hour = localTime_[2];
  local.tm_mday = localTime_[3];
  local.tm_mon = localTime_[4];
  local.tm_year = localTime_[5];
  local.tm_wday = localTime_[6];
  local.tm_yday = localTime_[7];
  local.tm_isdst = localTime_[8];
  // kTimeTextFormat, "%a %b %d %H:%M:%S %Y", in the "C" locale.
  const int n = std::snprintf(text_.data(), text_.size(), "%s %s %02d %02d:%02d:%02d %d",
                              NameAt(kDayNames, local.tm_wday), NameAt(kMonthNames, local.tm_mon),
                              local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
  if (n < 0) text_[0] = '\0';
  return text_.data();
}

}  // namespace kivo
