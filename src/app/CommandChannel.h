// CommandChannel: how another program sends a command number to the running
// utility, as a command message would reach its main window. The utility
// listens on a local datagram socket named after its window title (and the
// display it runs on) in the user's runtime directory; the socket is the
// user's alone (mode 0600) and a datagram from any other uid is dropped.
// kivo-command and the tests send to it.
#pragma once

#include <optional>
#include <string>

#include "platform/CommandSocket.h"

namespace kivo {

// "<runtime directory>/Kivo Disk Management Utility.command", or for an
// instance of a display "<...>/Kivo Disk Management Utility (display :1).command"
// (displayKey as DisplayKey gives it).
std::string CommandSocketPath(const std::string& runtimeDirectory, const std::string& displayKey = "");

// Not a menu command: shows the main window, raised and active. A second start
// with "-max" sends it to the running instance.
inline constexpr int kShowMainWindowCommand = 32800;

// A command number as text: decimal 0..65535, optional surrounding blanks and
// a trailing line end; anything else is refused.
std::optional<int> ParseCommandText(const std::string& text);

// The receiving end. Binding replaces a socket file left by an instance that
// died (the caller holds the instance lock, so no live instance owns it).
class CommandReceiver {
 public:
  // False with a reason on standard error when the socket cannot be bound,
  // or when its directory is another user's or writable by others.
  bool Bind(const std::string& path);
  int Descriptor() const { return socket_.Descriptor(); }
  // Reads one waiting datagram without blocking; the command number, or
  // nothing when none waits, it does not parse or another uid sent it.
  std::optional<int> ReceiveOne();
  void Close() { socket_.Close(); }

 private:
  platform::CommandSocket socket_;
};

// Sends one command; 0 when delivered, otherwise the errno of the failure
// (ECONNREFUSED or ENOENT when no utility listens, EACCES for a socket of
// another user).
int SendCommand(const std::string& path, int command);

// Sends one command to the running utility of this display (`displayName` as
// in $DISPLAY), else to one that listens for the user without a display.
// 0 when delivered; otherwise the errno of the failure, and in `path` the
// socket it concerns.
int SendToRunningInstance(const std::string& runtimeDirectory, const std::string& displayName, int command,
                          std::string* path);

}  // namespace kivo
