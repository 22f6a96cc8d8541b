// The About box.
#include "win32ui/AboutBox.h"

#include <string>

#include "win32ui/ModalWindows.h"
#include "win32ui/StaticTextFit.h"

namespace kivo::win32ui {

namespace {
HWND openBox = nullptr;
HWND mainOfBox = nullptr;
}  // namespace

HWND AboutBox::Current() {
  return openBox;
}

void AboutBox::Run(HINSTANCE instance, HWND mainWindow) {
  if (ModalWindows::Closed()) return;
  if (openBox != nullptr) {
    SetForegroundWindow(openBox);
    return;
  }
  HWND owner = BoxOwnedByWindow(true, mainWindow != nullptr && IsWindowVisible(mainWindow) != FALSE)
                   ? mainWindow
                   : nullptr;
  mainOfBox = mainWindow;
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, Procedure, 0);
}

INT_PTR CALLBACK AboutBox::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      openBox = window;
      // The version and the notice are the texts the report prints too.
      const std::string version = std::string("version ") + ProgramVersionText();
      SetDlgItemTextA(window, IDC_ABOUT_VERSION, version.c_str());
      SetDlgItemTextA(window, IDC_ABOUT_NOTICE, kLegalNotice);
      FitStaticTexts(window);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      // A command meant for the utility (Exit from kivo-command or the
      // uninstaller, which find the window by its title).
      if (lParam == 0 && mainOfBox != nullptr) SendMessageA(mainOfBox, message, wParam, lParam);
      return TRUE;
    case WM_DESTROY:
      openBox = nullptr;
      return FALSE;
    default:
      // Registered messages (a second start's show request) are the main
      // window's too.
      if (message < 0xC000 || message > 0xFFFF || mainOfBox == nullptr) return FALSE;
      SendMessageA(mainOfBox, message, wParam, lParam);
      return TRUE;
  }
}

}  // namespace kivo::win32ui
