// The alert window's decisions: alarm state, text order and tick results.
#include "shell/AlertLogic.h"

#include <cstdio>

namespace kivo {

void AlertLogic::ShowAlert(const std::string& line, int audioOffFlag) {
  audioOff_ = audioOffFlag != 0 ? 1 : 0;
  alarmStopped_ = 0;
  message_ = line + message_;
}

int AlertLogic::FlashTick() {
  if (alarmStopped_ != 0) return -1;
  const int invert = flashOn_;
  flashOn_ = flashOn_ == 0 ? 1 : 0;
  return invert;
}

std::string AlertLogic::AlarmsPageUrl(unsigned port) {
  char url[64];
  std::snprintf(url, sizeof(url), "http://localhost:%u/alarms.html", port);
  return url;
}

}  // namespace kivo
