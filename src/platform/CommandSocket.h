// CommandSocket: a local datagram socket of this user, on which the utility
// takes short texts from other programs of the same user (its command
// channel). Linux only; app/CommandChannel gives the texts their meaning.
#pragma once

#include <optional>
#include <string>

namespace kivo::platform {

class CommandSocket {
 public:
  CommandSocket() = default;
  ~CommandSocket();
  CommandSocket(const CommandSocket&) = delete;
  CommandSocket& operator=(const CommandSocket&) = delete;

  // Binds `path` with mode 0600, replacing a socket file left there (the
  // caller makes sure no live owner has it). False with the reason in
  // *error when the path is too long, its directory is another user's or
  // writable by others, or the socket cannot be bound.
  bool Bind(const std::string& path, std::string* error);
  int Descriptor() const { return fd_; }
  // One waiting datagram without blocking; nothing when none waits, it is
  // longer than `limit` bytes (its cut head is no message), or another user
  // sent it (that is reported once on standard error).
  std::optional<std::string> ReceiveOne(std::size_t limit);
  // Closes the socket and removes its file.
  void Close();

 private:
  int fd_ = -1;
  std::string path_;
};

// Sends one datagram to the socket at `path`; 0 when delivered, otherwise the
// errno of the failure (ECONNREFUSED or ENOENT when nobody listens, EACCES
// for a socket of another user, ENAMETOOLONG for a path too long).
int SendDatagram(const std::string& path, const std::string& text);

}  // namespace kivo::platform
