// TimeStamp: localtime_r and strftime_l in the "C" locale, so the toolkit's
// setlocale(LC_ALL, "") cannot turn "Sun" into "So".
#include "controller/TimeStamp.h"

#include <locale.h>
#include <time.h>

namespace kivo {
namespace {

locale_t ClassicLocale() {
  // Made once and kept for the life of the process.
  static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return classic;
}

}  // namespace

void TimeStamp::Now(platform::Clock& clock) {
  std::time_t now = clock.Now();
  // The record keeps 32 bits; the local time is taken from the full value so
  // that dates past 2038 still read right.
  calendarTime_ = static_cast<std::int32_t>(now);
  struct tm local {};
  if (localtime_r(&now, &local) == nullptr) local = tm{};
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
  std::size_t n = 0;
  locale_t classic = ClassicLocale();
  if (classic != static_cast<locale_t>(0)) {
    n = strftime_l(text_.data(), text_.size(), kTimeTextFormat, &local, classic);
  }
  text_[n] = '\0';
  return text_.data();
}

}  // namespace kivo
