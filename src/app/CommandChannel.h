// CommandChannel: how another program sends a command number to the running
// utility, as a command message would reach its main window. The utility
// listens on a local datagram socket named after its window title (and the
// session it runs in: the X display, or the Wayland display) in the user's
// runtime directory; the socket is the user's alone (mode 0600) and a
// datagram from any other uid is dropped. A command may carry the sender's
// activation token, with which the utility's window may take the focus.
// kivo-command and the tests send to it.
#pragma once

#include <optional>
#include <string>

#include "platform/CommandSocket.h"

namespace kivo {

struct SessionKey;

// "<runtime directory>/Kivo Disk Management Utility.command", or for an
// instance of a display "<...>/Kivo Disk Management Utility (display :1).command"
// (displayKey as DisplayKey gives it).
std::string CommandSocketPath(const std::string& runtimeDirectory, const std::string& displayKey = "");
// The same for any session: "(display :1)", "(wayland wayland-0)" or none.
std::string CommandSocketPath(const std::string& runtimeDirectory, const SessionKey& session);

// Not a menu command: shows the main window, raised and active. A second start
// with "-max" sends it to the running instance.
inline constexpr int kShowMainWindowCommand = 32800;

// A command number as text: decimal 0..65535, optional surrounding blanks and
// a trailing line end; anything else is refused.
std::optional<int> ParseCommandText(const std::string& text);

// One datagram: the command number on its first line, then, when the sender
// was started with one, "XDG_ACTIVATION_TOKEN=<token>" on a line of its own.
struct CommandMessage {
  int command = 0;
  std::string activationToken;  // empty: none
};
inline constexpr std::size_t kMaxActivationTokenLength = 255;
// A token as a launcher hands it out: 1..255 printable ASCII characters
// without blanks (it goes into the environment and onto the wire).
bool IsActivationToken(const std::string& token);
std::string CommandMessageText(const CommandMessage& message);
// Nothing when the first line is no command number or the rest is not one
// well-formed token line.
std::optional<CommandMessage> ParseCommandMessage(const std::string& text);

// The receiving end. Binding replaces a socket file left by an instance that
// died (the caller holds the instance lock, so no live instance owns it).
class CommandReceiver {
 public:
  // False with a reason on standard error when the socket cannot be bound,
  // or when its directory is another user's or writable by others.
  bool Bind(const std::string& path);
  int Descriptor() const { return socket_.Descriptor(); }
  // Reads one waiting datagram without blocking; the command, or nothing
  // when none waits, it does not parse or another uid sent it.
  std::optional<CommandMessage> ReceiveMessage();
  // As ReceiveMessage, the command number alone.
  std::optional<int> ReceiveOne();
  void Close() { socket_.Close(); }

 private:
  platform::CommandSocket socket_;
};

// Sends one command; 0 when delivered, otherwise the errno of the failure
// (ECONNREFUSED or ENOENT when no utility listens, EACCES for a socket of
// another user, EINVAL for a token that is not one).
int SendCommand(const std::string& path, int command, const std::string& activationToken = "");

// Where the running utility of this session may listen, in the order a sender
// tries them: the Wayland display's socket (`waylandDisplay` as in
// $WAYLAND_DISPLAY), the X display's (`displayName` as in $DISPLAY), the
// user's own.
struct SessionNames {
  std::string waylandDisplay;
  std::string displayName;
  // From the environment of this process.
  static SessionNames FromEnvironment();
};

// Sends one command to the running utility of this session, trying the
// places above in turn. 0 when delivered; otherwise the errno of the failure,
// and in `path` the socket it concerns.
int SendToRunningInstance(const std::string& runtimeDirectory, const SessionNames& session, int command,
                          const std::string& activationToken, std::string* path);

// The activation token this process was started with ($XDG_ACTIVATION_TOKEN),
// taken out of the environment (a token is good for one use); empty when
// there is none or it is not a token.
std::string TakeActivationToken();

}  // namespace kivo
