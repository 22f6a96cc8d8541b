// WinMessageBoxes: the utility's message boxes (MessageBoxA). A box asked for
// as owned is owned by the main window while the window is seen, as BoxOwner
// decides for both shells.
#pragma once

#include <string>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class WinMessageBoxes : public platform::MessageBoxes {
 public:
  void SetWindow(HWND window) { window_ = window; }
  HWND Owner(bool owned) const;
  int MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                  platform::UINT type) override;

 private:
  HWND window_ = nullptr;
};

}  // namespace kivo::win32ui
