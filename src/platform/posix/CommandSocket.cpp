// The command channel's local datagram socket, with the sender's credentials
// checked on every datagram.
#include "platform/CommandSocket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/EndpointTrust.h"

namespace kivo::platform {

namespace {

bool MakeAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

}  // namespace

CommandSocket::~CommandSocket() {
  Close();
}

bool CommandSocket::Bind(const std::string& path, std::string* error) {
  Close();
  sockaddr_un address;
  if (!MakeAddress(path, &address)) {
    *error = "command socket path too long: " + path;
    return false;
  }
  if (const std::string reason = UntrustedDirectoryReason(DirectoryOfPath(path)); !reason.empty()) {
    *error = "no command socket: refusing the runtime directory: " + reason;
    return false;
  }
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *error = std::string("command socket: ") + std::strerror(errno);
    return false;
  }
  // Every datagram then carries its sender's credentials.
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  ::unlink(path.c_str());
  // The file's mode comes from the umask; the private directory covers the
  // moment before the chmod.
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0) {
    *error = "cannot listen for commands on " + path + ": " + std::strerror(errno);
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

std::optional<std::string> CommandSocket::ReceiveOne(std::size_t limit) {
  if (fd_ < 0) return std::nullopt;
  std::vector<char> buffer(limit + 1);
  iovec data{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
  if (n <= 0 || (message.msg_flags & MSG_TRUNC) != 0 || static_cast<std::size_t>(n) > limit) {
    return std::nullopt;
  }
  long sender = -1;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS &&
        c->cmsg_len == CMSG_LEN(sizeof(ucred))) {
      ucred credentials;
      std::memcpy(&credentials, CMSG_DATA(c), sizeof credentials);
      sender = static_cast<long>(credentials.uid);
    }
  }
  if (sender != static_cast<long>(::geteuid())) {
    ReportDistrustOnce("ignoring commands from user " + std::to_string(sender));
    return std::nullopt;
  }
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

void CommandSocket::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(path_.c_str());
  fd_ = -1;
  path_.clear();
}

int SendDatagram(const std::string& path, const std::string& text) {
  sockaddr_un address;
  if (!MakeAddress(path, &address)) return ENAMETOOLONG;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  int result = 0;
  if (::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address) !=
      static_cast<ssize_t>(text.size())) {
    result = errno;
  }
  ::close(fd);
  return result;
}

}  // namespace kivo::platform
