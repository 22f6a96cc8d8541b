// ModalWindows: the end of the utility's modal windows at Exit. About, E-mail
// Setup and the message boxes each run a loop of their own; Exit ends them
// all and keeps new ones from opening, so the process ends at once. For the
// Win32 shell's windows; user-interface thread only.
#pragma once

#include <initializer_list>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class ModalWindows {
 public:
  // Ends every dialog and message box of this thread but `keep` (the main
  // window, the modeless alert window) and any menu being tracked; from then
  // on Closed() holds.
  static void EndAll(std::initializer_list<HWND> keep);
  // True after EndAll: a modal window is not opened any more.
  static bool Closed();
};

}  // namespace kivo::win32ui
