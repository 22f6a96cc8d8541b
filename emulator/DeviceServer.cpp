// DeviceServer: the device side of the emulator on Unix-domain sockets.
// Each call: read the frame of platform/DeviceIo.h, answer it with
// HandleDeviceCall under the world's lock, write the reply frame.
#include "emulator/DeviceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Win32Types.h"

namespace kivo::emulator {
namespace {

// Larger frames are not requests of the utility: the connection is dropped.
constexpr std::uint32_t kMaxFrame = 1u << 20;

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t GetU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

bool ReadAll(int fd, std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t got = ::recv(fd, data, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when something answers on the socket at `path`.
bool SomeoneListens(const std::string& path) {
  sockaddr_un address;
  if (!FillAddress(path, address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

bool MakePrivateDirectory(const std::string& path) {
  if (path.empty()) return false;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakePrivateDirectory(path.substr(0, slash))) return false;
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

DeviceServer::DeviceServer(World& world, std::string directory)
    : world_(world), directory_(std::move(directory)) {}

DeviceServer::~DeviceServer() {
  Stop();
}

std::vector<std::string> DeviceServer::SocketPaths() const {
  std::vector<std::string> paths;
  for (const Listener& listener : listeners_) paths.push_back(listener.path);
  return paths;
}

bool DeviceServer::Start(std::string* error) {
  std::string ignored;
  std::string& message = error ? *error : ignored;
  if (started_) return true;
  if (!MakePrivateDirectory(directory_)) {
    message = "cannot create the device directory " + directory_ + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::pair<std::string, std::uint32_t>> devices;
  {
    std::lock_guard lock(world_.mutex);
    for (const std::string& name : DeviceNames(world_)) devices.emplace_back(name, OpenDevice(world_, name));
  }
  for (const auto& [device, openError] : devices) {
    if (openError == kivo::platform::ERROR_FILE_NOT_FOUND) continue;
    Listener listener{device, directory_ + "/" + device, -1, openError == 0};
    sockaddr_un address;
    if (!FillAddress(listener.path, address)) {
      message = "socket path too long: " + listener.path;
      Stop();
      return false;
    }
    if (SomeoneListens(listener.path)) {
      message = "another server already answers on " + listener.path;
      Stop();
      return false;
    }
    ::unlink(listener.path.c_str());
    listener.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener.fd < 0 ||
        ::bind(listener.fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        (listener.listening && ::listen(listener.fd, 64) != 0)) {
      message = "cannot serve " + listener.path + ": " + std::strerror(errno);
      if (listener.fd >= 0) ::close(listener.fd);
      Stop();
      return false;
    }
    // A bound socket that never listens refuses every connection: a device
    // that will not open.
    listeners_.push_back(listener);
  }
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) {
    message = std::string("cannot make a pipe: ") + std::strerror(errno);
    Stop();
    return false;
  }
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  started_ = true;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void DeviceServer::AcceptLoop() {
  std::vector<pollfd> watched;
  std::vector<const Listener*> owners;
  watched.push_back(pollfd{wakeRead_, POLLIN, 0});
  owners.push_back(nullptr);
  for (const Listener& listener : listeners_) {
    if (!listener.listening) continue;
    watched.push_back(pollfd{listener.fd, POLLIN, 0});
    owners.push_back(&listener);
  }
  for (;;) {
    for (pollfd& p : watched) p.revents = 0;
    if (::poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (watched[0].revents != 0) return;
    for (std::size_t i = 1; i < watched.size(); ++i) {
      if ((watched[i].revents & POLLIN) == 0) continue;
      const int fd = ::accept4(watched[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ReapFinished();
      std::lock_guard lock(mutex_);
      if (stopping_) {
        ::close(fd);
        return;
      }
      Connection& connection = connections_.emplace_back();
      connection.fd = fd;
      const std::string device = owners[i]->device;
      connection.thread = std::thread([this, &connection, device] { Serve(connection, device); });
    }
  }
}

void DeviceServer::Serve(Connection& connection, const std::string& device) {
  const int fd = connection.fd;
  for (;;) {
    std::uint8_t head[12];
    if (!ReadAll(fd, head, sizeof(head))) break;
    const std::uint32_t code = GetU32(head);
    const std::uint32_t inLength = GetU32(head + 4);
    const std::uint32_t outLength = GetU32(head + 8);
    if (inLength > kMaxFrame || outLength > kMaxFrame) break;
    Bytes input(inLength);
    if (!ReadAll(fd, input.data(), input.size())) break;
    DeviceReply reply;
    {
      std::lock_guard lock(world_.mutex);
      reply = HandleDeviceCall(world_, device, code, input, outLength);
    }
    if (reply.disconnect) break;
    Bytes frame(8 + reply.bytes.size());
    PutU32(frame.data(), reply.error);
    PutU32(frame.data() + 4, static_cast<std::uint32_t>(reply.bytes.size()));
    if (!reply.bytes.empty()) std::memcpy(frame.data() + 8, reply.bytes.data(), reply.bytes.size());
    if (!WriteAll(fd, frame.data(), frame.size())) break;
  }
  // The descriptor is closed by whoever joins this thread, so that Stop can
  // shut it down without racing a reuse of its number.
  ::shutdown(fd, SHUT_RDWR);
  connection.finished = true;
}

void DeviceServer::ReapFinished() {
  std::lock_guard lock(mutex_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (it->finished) {
      it->thread.join();
      ::close(it->fd);
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void DeviceServer::Stop() {
  if (started_) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(wakeWrite_, &byte, 1);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::lock_guard lock(mutex_);
    for (Connection& connection : connections_) ::shutdown(connection.fd, SHUT_RDWR);
    for (Connection& connection : connections_) {
      connection.thread.join();
      ::close(connection.fd);
    }
    connections_.clear();
  }
  for (Listener& listener : listeners_) {
    if (listener.fd >= 0) ::close(listener.fd);
    ::unlink(listener.path.c_str());
  }
  listeners_.clear();
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
  wakeRead_ = wakeWrite_ = -1;
  started_ = false;
  stopping_ = false;
}

}  // namespace kivo::emulator
