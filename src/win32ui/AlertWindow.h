// AlertWindow: the event notification window (template 101), modeless and
// hidden until an alert. Timer 1 beeps (Beep(100, 100)) and timer 2 flashes
// the caption (FlashWindow) every 500 ms while the alarm runs; the decisions
// are AlertLogic's. Owned by the main window.
#pragma once

#include <string>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class AlertWindow {
 public:
  // audioOffFlag is the process-wide switch the window copies and writes.
  AlertWindow(const platform::PlatformContext& context, int& audioOffFlag);
  ~AlertWindow();
  AlertWindow(const AlertWindow&) = delete;
  AlertWindow& operator=(const AlertWindow&) = delete;

  // Makes the hidden window, owned by `owner`, and starts its timers.
  bool Create(HINSTANCE instance, HWND owner);
  // The line on top of the text, the window shown and the alarm (re)started.
  void ShowAlert(const std::string& line);
  // OK, Enter or the close box.
  void Acknowledge();
  // Stops the timers (the program is ending).
  void StopTimers();
  HWND Handle() const { return window_; }
  const AlertLogic& Logic() const { return logic_; }

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void PushFields();
  void OpenBrowser();
  void AudioOffClicked();

  const platform::PlatformContext& context_;
  int& audioOffFlag_;
  AlertLogic logic_;
  HWND window_ = nullptr;
};

}  // namespace kivo::win32ui
