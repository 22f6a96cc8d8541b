// CommandChannel: how another program sends a command number to the running
// utility, as a command message would reach its main window. The utility
// listens on a local datagram socket named after its window title in the
// user's runtime directory; kivo-command and the tests send to it.
#pragma once

#include <optional>
#include <string>

namespace kivo {

// "<runtime directory>/Kivo Disk Management Utility.command"
std::string CommandSocketPath(const std::string& runtimeDirectory);

// A command number as text: decimal 0..65535, optional surrounding blanks and
// a trailing line end; anything else is refused.
std::optional<int> ParseCommandText(const std::string& text);

// The receiving end. Binding replaces a socket file left by an instance that
// died (the caller holds the instance lock, so no live instance owns it).
class CommandReceiver {
 public:
  CommandReceiver() = default;
  ~CommandReceiver();
  CommandReceiver(const CommandReceiver&) = delete;
  CommandReceiver& operator=(const CommandReceiver&) = delete;

  // False with a reason on standard error when the socket cannot be bound.
  bool Bind(const std::string& path);
  int Descriptor() const { return fd_; }
  // Reads one waiting datagram without blocking; the command number, or
  // nothing when none waits or it does not parse.
  std::optional<int> ReceiveOne();
  void Close();

 private:
  int fd_ = -1;
  std::string path_;
};

// Sends one command; 0 when delivered, otherwise the errno of the failure
// (ECONNREFUSED or ENOENT when no utility listens).
int SendCommand(const std::string& path, int command);

}  // namespace kivo
