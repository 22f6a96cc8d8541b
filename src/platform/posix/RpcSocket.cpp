// Unix-domain stream transport of the local RPC endpoints: connect, send and
// read whole PDUs against a deadline.
#include "platform/posix/RpcSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/EndpointTrust.h"
#include "platform/RpcPdu.h"
#include "platform/ServiceRpc.h"

namespace kivo::platform {

namespace {

std::string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

int RemainingMs(RpcDeadline deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return 0;
  if (left.count() > 1000000) return 1000000;
  return static_cast<int>(left.count());
}

}  // namespace

std::string DefaultRpcDirectory() {
  std::string dir = EnvironmentText("KIVO_RPC_DIR");
  if (!dir.empty()) return dir;
  std::string runtime = EnvironmentText("XDG_RUNTIME_DIR");
  if (!runtime.empty()) return runtime + "/kivo/ncalrpc";
  return FallbackRuntimeDirectory() + "/ncalrpc";
}

std::string RpcEndpointPath(const std::string& directory, const std::string& endpoint) {
  return directory + "/" + endpoint;
}

bool MakeRpcDirectory(const std::string& directory) {
  if (directory.empty()) return false;
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = directory.find('/', pos + 1);
    partial = directory.substr(0, pos);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  // Sockets are only made in a directory of this user: another user's
  // directory (a planted /tmp/kivo-$UID) could hand callers to a stranger.
  struct stat info {};
  if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if (info.st_uid != geteuid() || !UntrustedDirectoryReason(directory).empty()) {
    errno = EPERM;
    return false;
  }
  return true;
}

RpcDeadline DeadlineAfter(std::uint32_t ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

RpcStream::~RpcStream() {
  if (fd_ >= 0) close(fd_);
}

std::unique_ptr<RpcStream> RpcStream::Connect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return nullptr;
  if (const std::string reason = UntrustedDirectoryReason(DirectoryOfPath(path)); !reason.empty()) {
    ReportDistrustOnce("refusing the service directory: " + reason);
    return nullptr;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  // Non-blocking, so a listener whose queue is full (a server that stopped
  // accepting) fails the connect at once instead of holding the caller; every
  // later read and write waits in poll against its deadline.
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return nullptr;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return nullptr;
  }
  // A stranger's server would answer with fake notifications.
  if (const long peer = PeerUid(fd); !IsTrustedUid(peer)) {
    close(fd);
    ReportDistrustOnce("refusing the service endpoint " + path + ": it is served by user " +
                       std::to_string(peer));
    return nullptr;
  }
  return std::make_unique<RpcStream>(fd);
}

void RpcStream::ShutdownBoth() {
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

bool RpcStream::SendAll(std::span<const std::uint8_t> bytes, RpcDeadline deadline) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    pollfd p{fd_, POLLOUT, 0};
    int ready = poll(&p, 1, RemainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

long RpcStream::ReadExactly(std::uint8_t* out, std::size_t n, RpcDeadline deadline, int stopFd) {
  std::size_t got = 0;
  while (got < n) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    int ready = poll(p, stopFd >= 0 ? 2 : 1, RemainingMs(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return -3;
    if (stopFd >= 0 && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) return -2;
    if (ready == 0) return -1;
    ssize_t r = recv(fd_, out + got, n - got, MSG_DONTWAIT);
    if (r < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      if (errno == ECONNRESET) return static_cast<long>(got);
      return -3;
    }
    if (r == 0) return static_cast<long>(got);
    got += static_cast<std::size_t>(r);
  }
  return static_cast<long>(got);
}

ReadResult RpcStream::ReadPdu(RpcDeadline deadline, std::vector<std::uint8_t>* frame, int stopFd) {
  std::vector<std::uint8_t> bytes(kPduHeaderSize);
  long got = ReadExactly(bytes.data(), kPduHeaderSize, deadline, stopFd);
  if (got == -1) return ReadResult::kTimeout;
  if (got == -2) return ReadResult::kStopped;
  if (got < 0) return ReadResult::kError;
  if (got == 0) return ReadResult::kClosed;
  if (static_cast<std::size_t>(got) < kPduHeaderSize) return ReadResult::kTruncated;
  PduHeader header;
  if (DecodeHeader(bytes, &header) != 0) return ReadResult::kMalformed;
  bytes.resize(header.fragLength);
  std::size_t rest = header.fragLength - kPduHeaderSize;
  if (rest > 0) {
    got = ReadExactly(bytes.data() + kPduHeaderSize, rest, deadline, stopFd);
    if (got == -1) return ReadResult::kTimeout;
    if (got == -2) return ReadResult::kStopped;
    if (got < 0) return ReadResult::kError;
    if (static_cast<std::size_t>(got) < rest) return ReadResult::kTruncated;
  }
  *frame = std::move(bytes);
  return ReadResult::kOk;
}

}  // namespace kivo::platform
