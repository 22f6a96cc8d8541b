// AlertLogic: the decisions of the alert window without its widgets: the
// message text (newest line first), the alarm state, the beep and flash ticks
// and the alarms page address. Used by both shells' alert windows; tests
// reach it without a display.
#pragma once

#include <string>

namespace kivo {

class AlertLogic {
 public:
  static constexpr int kBeepTimerId = 1;
  static constexpr int kFlashTimerId = 2;
  static constexpr int kBeepPeriodMs = 500;
  static constexpr int kFlashPeriodMs = 500;
  static constexpr unsigned kBeepFrequencyHz = 100;
  static constexpr unsigned kBeepDurationMs = 100;

  // A new alert: copies the process-wide audio switch, starts the alarm and
  // puts the line on top of the text (every line brings its own CR LF).
  void ShowAlert(const std::string& line, int audioOffFlag);
  // OK, Enter or the close box: the alarm stops; the text stays.
  void Acknowledge() { alarmStopped_ = 1; }
  // Timer 1: true when this tick sounds the beep.
  bool BeepTick() const { return alarmStopped_ == 0 && audioOff_ == 0; }
  // Timer 2: -1 when the tick does nothing, else the invert flag to flash
  // with; the flag alternates from one flash to the next and is never reset.
  int FlashTick();
  void SetAudioOff(int audioOff) { audioOff_ = audioOff != 0 ? 1 : 0; }

  int AlarmStopped() const { return alarmStopped_; }
  int AudioOff() const { return audioOff_; }
  int FlashOn() const { return flashOn_; }
  const std::string& Message() const { return message_; }

  // http://localhost:PORT/alarms.html
  static std::string AlarmsPageUrl(unsigned port);

 private:
  int alarmStopped_ = 1;
  std::string message_;
  int audioOff_ = 0;
  int flashOn_ = 1;
};

}  // namespace kivo
