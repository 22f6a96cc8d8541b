// FilesFolder: where kivo.exe keeps "data.txt" and "emaillog.txt". For the
// start-up of the Windows shell and its tests; no state of its own.
#pragma once

#include <string>

namespace kivo::win32ui {

class FilesFolder {
 public:
  // True when a file can be made in `folder`.
  static bool IsWritable(const std::string& folder);
  // %LOCALAPPDATA%\Zelka\Kivo, made when missing; empty when it cannot be.
  static std::string PerUserFolder();
  // Keeps the current folder where it can be written (the files of earlier
  // installations are there); else makes the per-user folder the current
  // one. Started from the Run key or the Start menu, a program's current
  // folder is the system folder or the installation folder, which a standard
  // user cannot write. Returns the folder in use.
  static std::string Enter();
};

}  // namespace kivo::win32ui
