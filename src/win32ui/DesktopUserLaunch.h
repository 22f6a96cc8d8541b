// DesktopUserLaunch: how the elevated setup program starts the utility as the
// user at the desktop, not elevated. A program started by an elevated one
// inherits its administrator's token: an elevated tray utility would write
// the administrator's files and could not be reached by the user's own
// commands. The desktop's shell runs with the logged-on user's own token
// (also where another account's password elevated setup), so the utility is
// started with a copy of that token. Used by kivo-setup-helper.exe.
#pragma once

#include <string>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class DesktopUserLaunch {
 public:
  // Starts `program` (without arguments) in `folder` with the token of the
  // process that owns the desktop's shell window. 0 when it was started;
  // otherwise the Win32 error, with the failed step in *step (no shell
  // window: ERROR_NOT_FOUND). Nothing is started with this process's own
  // token.
  static ::DWORD Start(const std::string& program, const std::string& folder, std::string* step);
};

}  // namespace kivo::win32ui
