// What the core asks of the desktop without knowing it: message boxes and
// starting other programs. The Qt shell, the headless programs and the tests
// each implement these.
#pragma once

#include <string>

#include "platform/Win32Types.h"

namespace kivo::platform {

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // MessageBoxA: `owned` is true when the box has the main window as owner.
  // Returns the button pressed (IDOK, IDYES, IDNO, ...).
  virtual int MessageBoxA(bool owned, const std::string& text, const std::string& caption, UINT type) = 0;
};

class Launcher {
 public:
  virtual ~Launcher() = default;
  // Opens a text file in the user's editor without waiting and without a
  // shell ($KIVO_EDITOR, else xdg-open). The result is not reported.
  virtual void OpenTextFile(const std::string& path) = 0;
  // Opens an address in the user's browser without waiting.
  virtual void OpenUrl(const std::string& url) = 0;
};

}  // namespace kivo::platform
