// InstanceCheck: one utility per user and display. A running instance is
// recognised by a top-level window with the exact title (searched on the X
// display, mapped or not) or by the per-user lock named after the title, which
// every instance holds for its whole life. Used by start-up and by tests.
#pragma once

#include <string>

#include "app/StartupSequence.h"  // kMainWindowTitle

namespace kivo {

// $XDG_RUNTIME_DIR, else /tmp/kivo-<uid> (created with mode 0700).
std::string UserRuntimeDirectory();

class InstanceCheck {
 public:
  // runtimeDirectory holds the lock "<title>.lock"; displayName is the X
  // display to search (empty: the display cannot be searched, the lock alone
  // decides).
  InstanceCheck(std::string title, std::string runtimeDirectory, std::string displayName);
  ~InstanceCheck();
  InstanceCheck(const InstanceCheck&) = delete;
  InstanceCheck& operator=(const InstanceCheck&) = delete;

  // True when no window with the title exists and the lock could be taken;
  // the lock is then held until this object goes away.
  bool IsFirstInstance();
  const std::string& LockPath() const { return lockPath_; }

 private:
  std::string title_;
  std::string lockPath_;
  std::string displayName_;
  int lockFd_ = -1;
};

// Searches every top-level window of the X display (and the client windows
// inside window-manager frames) for one whose WM_NAME or _NET_WM_NAME equals
// title exactly. False when the display cannot be reached.
bool DisplayHasWindowTitled(const std::string& displayName, const std::string& title);

}  // namespace kivo
