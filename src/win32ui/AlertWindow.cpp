// The alert window's procedure: its timers, buttons and check box.
#include "win32ui/AlertWindow.h"

namespace kivo::win32ui {

AlertWindow::AlertWindow(const platform::PlatformContext& context, int& audioOffFlag)
    : context_(context), audioOffFlag_(audioOffFlag) {}

AlertWindow::~AlertWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

bool AlertWindow::Create(HINSTANCE instance, HWND owner) {
  window_ = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_ALERT), owner, Procedure,
                               reinterpret_cast<LPARAM>(this));
  return window_ != nullptr;
}

INT_PTR CALLBACK AlertWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    reinterpret_cast<AlertWindow*>(lParam)->window_ = window;
  }
  auto* self = reinterpret_cast<AlertWindow*>(GetWindowLongPtrA(window, DWLP_USER));
  return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR AlertWindow::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      PushFields();
      // The timers run for the window's whole life; the alarm state decides
      // whether a tick does anything.
      SetTimer(window_, AlertLogic::kBeepTimerId, AlertLogic::kBeepPeriodMs, nullptr);
      SetTimer(window_, AlertLogic::kFlashTimerId, AlertLogic::kFlashPeriodMs, nullptr);
      return TRUE;
    case WM_TIMER:
      if (wParam == AlertLogic::kBeepTimerId && logic_.BeepTick()) {
        Beep(AlertLogic::kBeepFrequencyHz, AlertLogic::kBeepDurationMs);
      } else if (wParam == AlertLogic::kFlashTimerId) {
        const int invert = logic_.FlashTick();
        if (invert >= 0) FlashWindow(window_, invert != 0 ? TRUE : FALSE);
      }
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          Acknowledge();
          return TRUE;
        case IDCANCEL:  // "Open Browser" carries the cancel number: Esc opens the page
          OpenBrowser();
          return TRUE;
        case IDC_AUDIO_OFF:
          if (HIWORD(wParam) == BN_CLICKED) AudioOffClicked();
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      // The close box acknowledges; without this the dialog manager would
      // turn it into the cancel command, which opens the browser.
      Acknowledge();
      return TRUE;
    default:
      return FALSE;
  }
}

void AlertWindow::PushFields() {
  SetDlgItemTextA(window_, IDC_ALERT_MESSAGE, logic_.Message().c_str());
  CheckDlgButton(window_, IDC_AUDIO_OFF, logic_.AudioOff() != 0 ? BST_CHECKED : BST_UNCHECKED);
}

void AlertWindow::ShowAlert(const std::string& line) {
  logic_.ShowAlert(line, audioOffFlag_);
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  PushFields();
}

void AlertWindow::Acknowledge() {
  logic_.Acknowledge();
  ShowWindow(window_, SW_HIDE);
}

void AlertWindow::StopTimers() {
  logic_.Acknowledge();
  KillTimer(window_, AlertLogic::kBeepTimerId);
  KillTimer(window_, AlertLogic::kFlashTimerId);
}

void AlertWindow::OpenBrowser() {
  const unsigned port = context_.registry != nullptr ? ReadHttpPort(*context_.registry) : kDefaultHttpPort;
  if (context_.launcher != nullptr) context_.launcher->OpenUrl(AlertLogic::AlarmsPageUrl(port));
}

void AlertWindow::AudioOffClicked() {
  logic_.SetAudioOff(IsDlgButtonChecked(window_, IDC_AUDIO_OFF) == BST_CHECKED ? 1 : 0);
  audioOffFlag_ = logic_.AudioOff();
  if (context_.registry != nullptr && context_.messageBoxes != nullptr) {
    WriteAudioOff(*context_.registry, *context_.messageBoxes, logic_.AudioOff());
  }
}

}  // namespace kivo::win32ui
