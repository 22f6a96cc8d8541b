// InstanceCheck: one utility per user and session. On X11 a running instance
// is recognised by a top-level window with the exact title (searched on the X
// display, mapped or not) and by a lock named after the title and the display,
// which every instance holds for its whole life; where the display cannot be
// searched, a per-user lock alone decides. On Wayland the X display is never
// opened (that would start the compositor's X server): a lock named after the
// Wayland display decides. Used by start-up, kivo-command and tests.
#pragma once

#include <optional>
#include <string>

#include "platform/InstanceLock.h"
#include "shell/StartupSequence.h"  // kMainWindowTitle

namespace kivo {

// The display's name without its screen, for the names of the lock and the
// command socket: ":1" for ":1.0", "unix:1" or "/tmp/.X11-unix/X1", "host:1"
// for a remote one; empty when displayName is empty or does not parse.
std::string DisplayKey(const std::string& displayName);

// "<title>.lock" for the user, "<title> (display :1).lock" for a display; the
// command socket is named the same way with ".command".
std::string InstanceFileName(const std::string& title, const std::string& displayKey, const char* suffix);

// What the lock and the command socket of an instance are named after.
struct SessionKey {
  enum class Kind { kUser, kX11Display, kWayland };
  Kind kind = Kind::kUser;
  std::string name;  // ":1", or the Wayland display with '/' made '_'

  // The display's key (DisplayKey); the user's when it does not parse.
  static SessionKey X11(const std::string& displayName);
  // "wayland-0"; the user's when empty.
  static SessionKey Wayland(const std::string& waylandDisplay);
  // "", " (display :1)" or " (wayland wayland-0)".
  std::string Suffix() const;
};

// "<title><session suffix><suffix>".
std::string InstanceFileName(const std::string& title, const SessionKey& session, const char* suffix);

class InstanceCheck {
 public:
  // runtimeDirectory holds the lock; displayName is the X display to search
  // (empty, or a display that cannot be reached: the per-user lock decides).
  // onWayland makes it a Wayland instance: the X display is not searched,
  // the lock is the one of waylandDisplay. Either kind also looks whether an
  // instance of the other kind holds its lock in the same session (a lock is
  // tried, no display opened).
  InstanceCheck(std::string title, std::string runtimeDirectory, std::string displayName,
                std::string waylandDisplay = "", bool onWayland = false);
  ~InstanceCheck();
  InstanceCheck(const InstanceCheck&) = delete;
  InstanceCheck& operator=(const InstanceCheck&) = delete;

  // True when no window with the title exists and the lock could be taken;
  // the lock is then held until this object goes away. A runtime directory
  // that another user controls is refused (the reason goes to standard error)
  // and the window search alone decides.
  bool IsFirstInstance();
  const std::string& LockPath() const { return lockPath_; }
  // The key of the display that was searched; empty when none could be.
  const std::string& SearchedDisplayKey() const { return displayKey_; }
  // What this instance's lock and command socket are named after.
  const SessionKey& Session() const { return session_; }

 private:
  bool OtherKindRuns() const;

  std::string title_;
  std::string runtimeDirectory_;
  std::string lockPath_;
  std::string displayName_;
  std::string waylandDisplay_;
  bool onWayland_ = false;
  std::string displayKey_;
  SessionKey session_;
  platform::InstanceLock lock_;
};

// Searches every top-level window of the X display (and the client windows
// inside window-manager frames) for one whose WM_NAME or _NET_WM_NAME equals
// title exactly. Nothing when the display cannot be reached.
std::optional<bool> SearchDisplayForTitle(const std::string& displayName, const std::string& title);
// As above; false when the display cannot be reached.
bool DisplayHasWindowTitled(const std::string& displayName, const std::string& title);

}  // namespace kivo
