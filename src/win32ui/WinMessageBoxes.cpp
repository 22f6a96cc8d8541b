// Message boxes over the main window.
#include "win32ui/WinMessageBoxes.h"

#include "win32ui/ModalWindows.h"

namespace kivo::win32ui {

HWND WinMessageBoxes::Owner(bool owned) const {
  const bool visible = window_ != nullptr && IsWindowVisible(window_) != FALSE;
  return BoxOwnedByWindow(owned, visible) ? window_ : nullptr;
}

int WinMessageBoxes::MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                                 platform::UINT type) {
  // After Exit no box opens; the caller reads a cancelled one.
  if (ModalWindows::Closed()) return IDCANCEL;
  HWND owner = Owner(owned);
  // A box without owner still comes to the front: the program has no
  // visible window of its own most of the time.
  const UINT flags = type | (owner == nullptr ? MB_SETFOREGROUND : 0);
  return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

}  // namespace kivo::win32ui
