// The local datagram socket of the command channel, with the sender's
// credentials checked on every datagram.
#include "app/CommandChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/InstanceCheck.h"
#include "platform/EndpointTrust.h"

namespace kivo {

namespace {

bool MakeAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

}  // namespace

std::string CommandSocketPath(const std::string& runtimeDirectory, const std::string& displayKey) {
  return runtimeDirectory + "/" + InstanceFileName(kMainWindowTitle, displayKey, ".command");
}

std::optional<int> ParseCommandText(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin &&
         (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\n' || text[end - 1] == '\r')) {
    --end;
  }
  if (begin == end || end - begin > 5) return std::nullopt;
  int value = 0;
  const char* first = text.data() + begin;
  const char* last = text.data() + end;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || value < 0 || value > 65535) return std::nullopt;
  return value;
}

CommandReceiver::~CommandReceiver() {
  Close();
}

bool CommandReceiver::Bind(const std::string& path) {
  Close();
  sockaddr_un address;
  if (!MakeAddress(path, &address)) {
    std::fprintf(stderr, "kivo: command socket path too long: %s\n", path.c_str());
    return false;
  }
  if (const std::string reason = platform::UntrustedDirectoryReason(platform::DirectoryOfPath(path));
      !reason.empty()) {
    std::fprintf(stderr, "kivo: no command socket: refusing the runtime directory: %s\n", reason.c_str());
    return false;
  }
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    std::fprintf(stderr, "kivo: command socket: %s\n", std::strerror(errno));
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
    std::fprintf(stderr, "kivo: cannot listen for commands on %s: %s\n", path.c_str(), std::strerror(errno));
    ::close(fd);
    ::unlink(path.c_str());
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

std::optional<int> CommandReceiver::ReceiveOne() {
  if (fd_ < 0) return std::nullopt;
  char buffer[64];
  iovec data{buffer, sizeof buffer};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
  // A datagram longer than any command is not one (its cut head might parse).
  if (n <= 0 || (message.msg_flags & MSG_TRUNC) != 0) return std::nullopt;
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
    platform::ReportDistrustOnce("ignoring commands from user " + std::to_string(sender));
    return std::nullopt;
  }
  return ParseCommandText(std::string(buffer, static_cast<std::size_t>(n)));
}

void CommandReceiver::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(path_.c_str());
  fd_ = -1;
  path_.clear();
}

int SendToRunningInstance(const std::string& runtimeDirectory, const std::string& displayName, int command,
                          std::string* path) {
  std::vector<std::string> paths;
  if (const std::string key = DisplayKey(displayName); !key.empty()) {
    paths.push_back(CommandSocketPath(runtimeDirectory, key));
  }
  paths.push_back(CommandSocketPath(runtimeDirectory));
  *path = paths.front();
  int error = ENOENT;
  for (const std::string& candidate : paths) {
    error = SendCommand(candidate, command);
    // Nobody listens here: try the next place.
    if (error != ECONNREFUSED && error != ENOENT) {
      *path = candidate;
      return error;
    }
  }
  return error;
}

int SendCommand(const std::string& path, int command) {
  sockaddr_un address;
  if (!MakeAddress(path, &address)) return ENAMETOOLONG;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%d\n", command);
  int result = 0;
  if (::sendto(fd, text, static_cast<std::size_t>(length), 0, reinterpret_cast<sockaddr*>(&address),
               sizeof address) != length) {
    result = errno;
  }
  ::close(fd);
  return result;
}

}  // namespace kivo
