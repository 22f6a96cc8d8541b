// EmailSetupWindow: the "Email Setup" form (template 142) run modally over the
// main window; the conversation around it (empty fields, storing, the test
// question, the test message) is OpenEmailSetup's.
#pragma once

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class EmailSetupWindow : public EmailSetupForm {
 public:
  EmailSetupWindow(HINSTANCE instance, HWND owner) : instance_(instance), owner_(owner) {}
  int Run(EmailSetupFields& fields) override;

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  HWND owner_;
  EmailSetupFields* fields_ = nullptr;
};

}  // namespace kivo::win32ui
