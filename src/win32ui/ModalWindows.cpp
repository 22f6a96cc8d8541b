// Modal windows ended at Exit; see ModalWindows.h.
#include "win32ui/ModalWindows.h"

#include <algorithm>
#include <vector>

namespace kivo::win32ui {

namespace {

bool closed = false;

BOOL CALLBACK Collect(HWND window, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
  return TRUE;
}

}  // namespace

void ModalWindows::EndAll(std::initializer_list<HWND> keep) {
  closed = true;
  EndMenu();
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(&windows));
  for (HWND window : windows) {
    if (std::find(keep.begin(), keep.end(), window) != keep.end()) continue;
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    // Dialogs and message boxes alike: the dialog manager's loop ends after
    // the message being handled, and the call that opened it returns.
    if (lstrcmpA(className, "#32770") == 0) EndDialog(window, IDCANCEL);
  }
}

bool ModalWindows::Closed() {
  return closed;
}

}  // namespace kivo::win32ui
