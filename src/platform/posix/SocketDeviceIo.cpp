// SocketDeviceIo: CreateFileA/DeviceIoControl/CloseHandle over Unix-domain
// stream sockets, with the framing documented in platform/DeviceIo.h.
#include "platform/posix/SocketDeviceIo.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/DeviceFrame.h"
#include "platform/EndpointTrust.h"
#include "platform/LastError.h"

namespace kivo::platform {
namespace {

enum class Io { kDone, kClosed, kTimedOut };

Io SendAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return Io::kClosed;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return Io::kDone;
}

Io ReceiveAll(int fd, std::uint8_t* data, std::size_t size, std::chrono::steady_clock::time_point deadline) {
  while (size > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Io::kTimedOut;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Io::kClosed;
    }
    if (ready == 0) return Io::kTimedOut;
    const ssize_t got = ::recv(fd, data, size, 0);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return Io::kClosed;
    }
    if (got == 0) return Io::kClosed;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return Io::kDone;
}

class SocketDeviceIo : public DeviceIo {
 public:
  SocketDeviceIo(std::string directory, std::chrono::milliseconds replyWait,
                 std::chrono::milliseconds lateReplyWait)
      : directory_(std::move(directory)), replyWait_(replyWait), lateReplyWait_(lateReplyWait) {}

  ~SocketDeviceIo() override {
    for (auto& [handle, connection] : connections_) {
      if (connection.fd >= 0) ::close(connection.fd);
    }
  }

  HANDLE CreateFileA(const char* fileName, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) override {
    const std::string prefix = "\\\\.\\";
    const std::string name = fileName ? fileName : "";
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size() ||
        name.find('/') != std::string::npos) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    // Another local user's directory (a /tmp fallback made first by them)
    // could present a fake controller.
    if (const std::string reason = UntrustedDirectoryReason(directory_); !reason.empty()) {
      ReportDistrustOnce("refusing the device directory: " + reason);
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    const std::string path = directory_ + "/" + name.substr(prefix.size());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return INVALID_HANDLE_VALUE;
    }
    int result;
    do {
      result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      const int cause = errno;
      ::close(fd);
      SetLastError(cause == ENOENT    ? ERROR_FILE_NOT_FOUND
                   : cause == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                      : ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    if (const long peer = PeerUid(fd); !IsTrustedUid(peer)) {
      ::close(fd);
      ReportDistrustOnce("refusing the device " + path + ": it is served by user " + std::to_string(peer));
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(mutex_);
    const HANDLE handle = next_++;
    connections_[handle] = Connection{fd, name.substr(prefix.size())};
    return handle;
  }

  BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, void* inBuffer, DWORD inBufferSize,
                       void* outBuffer, DWORD outBufferSize, DWORD* bytesReturned, void*) override {
    int fd = -1;
    std::string name;
    std::chrono::milliseconds replyWait = replyWait_;
    {
      std::lock_guard lock(mutex_);
      auto found = connections_.find(device);
      if (found == connections_.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
      }
      fd = found->second.fd;
      name = found->second.name;
      if (late_.count(name) != 0) replyWait = lateReplyWait_;
    }
    if (fd < 0) {
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return FALSE;
    }
    if (inBuffer == nullptr) inBufferSize = 0;
    // The input is copied into the frame first: input and output are often
    // the same buffer.
    const std::vector<std::uint8_t> frame = EncodeCallFrame(
        ioControlCode, {static_cast<const std::uint8_t*>(inBuffer), inBufferSize}, outBufferSize);
    if (SendAll(fd, frame.data(), frame.size()) != Io::kDone) return Drop(device, ERROR_DEVICE_NOT_CONNECTED);

    const auto deadline = std::chrono::steady_clock::now() + replyWait;
    std::uint8_t head[kReplyHeadSize];
    Io io = ReceiveAll(fd, head, sizeof(head), deadline);
    if (io != Io::kDone)
      return Drop(device, io == Io::kTimedOut ? ERROR_GEN_FAILURE : ERROR_DEVICE_NOT_CONNECTED);
    {
      std::lock_guard lock(mutex_);
      late_.erase(name);
    }
    ReplyHead answer;
    // A longer reply is not a device's answer.
    if (!DecodeReplyHead(head, &answer)) return Drop(device, ERROR_BAD_LENGTH);
    const DWORD error = answer.error;
    const std::uint32_t length = answer.length;
    std::vector<std::uint8_t> reply(length);
    io = ReceiveAll(fd, reply.data(), reply.size(), deadline);
    if (io != Io::kDone)
      return Drop(device, io == Io::kTimedOut ? ERROR_GEN_FAILURE : ERROR_DEVICE_NOT_CONNECTED);
    if (error != 0) {
      SetLastError(error);
      return FALSE;
    }
    if (length != outBufferSize || (length > 0 && outBuffer == nullptr)) {
      SetLastError(ERROR_BAD_LENGTH);
      return FALSE;
    }
    if (length > 0) std::memcpy(outBuffer, reply.data(), length);
    if (bytesReturned != nullptr) *bytesReturned = length;
    return TRUE;
  }

  BOOL CloseHandle(HANDLE object) override {
    std::lock_guard lock(mutex_);
    auto found = connections_.find(object);
    if (found == connections_.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (found->second.fd >= 0) ::close(found->second.fd);
    connections_.erase(found);
    return TRUE;
  }

 private:
  // The connection can no longer carry calls (a late reply would answer the
  // next request): close it, keep the handle until CloseHandle.
  BOOL Drop(HANDLE device, DWORD error) {
    std::lock_guard lock(mutex_);
    auto found = connections_.find(device);
    if (found != connections_.end() && found->second.fd >= 0) {
      ::close(found->second.fd);
      found->second.fd = -1;
      if (error == ERROR_GEN_FAILURE) late_.insert(found->second.name);
    }
    SetLastError(error);
    return FALSE;
  }

  struct Connection {
    int fd = -1;  // -1 once dropped
    std::string name;
  };

  const std::string directory_;
  const std::chrono::milliseconds replyWait_;
  const std::chrono::milliseconds lateReplyWait_;
  std::mutex mutex_;  // guards connections_, next_ and late_
  std::map<HANDLE, Connection> connections_;
  HANDLE next_ = 1;
  std::set<std::string> late_;  // devices whose last reply did not come in time
};

}  // namespace

std::string DefaultDeviceDirectory() {
  if (const char* dir = std::getenv("KIVO_DEVICE_DIR"); dir != nullptr && *dir != '\0') return dir;
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
    return std::string(runtime) + "/zelka";
  }
  return "/tmp/zelka-" + std::to_string(::getuid());
}

std::string DeviceLocationHint(const std::string& directory) {
  // A program run by hand does not see the services' settings.
  return " in " + directory +
         " (KIVO_DEVICE_DIR names another device directory; the services take it from /etc/default/kivo)";
}

std::unique_ptr<DeviceIo> MakeSocketDeviceIo(const std::string& directory) {
  return MakeSocketDeviceIo(directory, kDeviceReplyWait);
}

std::unique_ptr<DeviceIo> MakeSocketDeviceIo(const std::string& directory,
                                             std::chrono::milliseconds replyWait,
                                             std::chrono::milliseconds lateReplyWait) {
  return std::make_unique<SocketDeviceIo>(directory, replyWait, lateReplyWait);
}

}  // namespace kivo::platform
