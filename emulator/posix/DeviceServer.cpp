// DeviceServer: the device side of the emulator on Unix-domain sockets.
// One thread polls the listening sockets and every client; each complete
// frame of platform/DeviceIo.h is answered with HandleDeviceCall under the
// world's lock. No thread per client: connecting costs no thread start, and
// a client cannot make the emulator start threads without bound.
#include "emulator/DeviceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <list>

#include "platform/DeviceFrame.h"
#include "platform/Win32Types.h"

namespace kivo::emulator {
namespace {

using platform::CallHead;
using platform::kCallHeadSize;
using platform::kMaxFrame;

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
  loopThread_ = std::thread([this] { EventLoop(); });
  return true;
}

void DeviceServer::EventLoop() {
  std::list<Connection> connections;
  std::vector<pollfd> watched;
  std::vector<const Listener*> listenerOf;
  std::vector<Connection*> connectionOf;
  for (;;) {
    watched.clear();
    listenerOf.clear();
    connectionOf.clear();
    watched.push_back(pollfd{wakeRead_, POLLIN, 0});
    listenerOf.push_back(nullptr);
    connectionOf.push_back(nullptr);
    for (const Listener& listener : listeners_) {
      if (!listener.listening) continue;
      watched.push_back(pollfd{listener.fd, POLLIN, 0});
      listenerOf.push_back(&listener);
      connectionOf.push_back(nullptr);
    }
    for (Connection& connection : connections) {
      const short events = connection.output.empty() ? POLLIN : POLLOUT;
      watched.push_back(pollfd{connection.fd, events, 0});
      listenerOf.push_back(nullptr);
      connectionOf.push_back(&connection);
    }
    if (::poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[0].revents != 0) break;
    std::vector<Connection*> closing;
    for (std::size_t i = 1; i < watched.size(); ++i) {
      if (watched[i].revents == 0) continue;
      if (listenerOf[i] != nullptr) {
        const int fd = ::accept4(watched[i].fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) connections.push_back(Connection{fd, listenerOf[i]->device, {}, {}, 0, false});
        continue;
      }
      Connection& connection = *connectionOf[i];
      const bool keep =
          connection.output.empty() ? Receive(connection) : Flush(connection) && Receive(connection);
      if (!keep) closing.push_back(&connection);
    }
    for (Connection* gone : closing) {
      ::close(gone->fd);
      connections.remove_if([gone](const Connection& c) { return &c == gone; });
    }
  }
  for (Connection& connection : connections) ::close(connection.fd);
}

bool DeviceServer::Receive(Connection& connection) {
  std::uint8_t chunk[16384];
  for (;;) {
    const ssize_t got = ::recv(connection.fd, chunk, sizeof(chunk), 0);
    if (got > 0) {
      connection.input.insert(connection.input.end(), chunk, chunk + got);
      if (connection.input.size() > kCallHeadSize + 2 * static_cast<std::size_t>(kMaxFrame)) return false;
      continue;
    }
    if (got == 0) return false;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    return false;
  }
  if (connection.silent) {
    connection.input.clear();
    return true;
  }
  // Answer complete calls one at a time; a reply that cannot be sent at once
  // stops the answering until the client has read it.
  while (connection.output.empty() && connection.input.size() >= kCallHeadSize) {
    CallHead call;
    if (!platform::DecodeCallHead(connection.input.data(), &call)) return false;
    const std::size_t frame = kCallHeadSize + call.inLength;
    if (connection.input.size() < frame) break;
    const Bytes request(connection.input.begin() + kCallHeadSize, connection.input.begin() + frame);
    connection.input.erase(connection.input.begin(), connection.input.begin() + frame);
    const DeviceReply reply = AnswerDeviceCall(world_, connection.device, call.code, request, call.outLength);
    if (reply.disconnect) return false;
    if (reply.silent) {
      // A hung driver: the connection stays open and nothing comes back.
      connection.silent = true;
      connection.input.clear();
      return true;
    }
    connection.output = platform::EncodeReplyFrame(reply.error, reply.bytes);
    connection.sent = 0;
    if (!Flush(connection)) return false;
  }
  return true;
}

bool DeviceServer::Flush(Connection& connection) {
  while (connection.sent < connection.output.size()) {
    const ssize_t sent = ::send(connection.fd, connection.output.data() + connection.sent,
                                connection.output.size() - connection.sent, MSG_NOSIGNAL);
    if (sent > 0) {
      connection.sent += static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    return false;
  }
  connection.output.clear();
  connection.sent = 0;
  return true;
}

void DeviceServer::Stop() {
  if (started_) {
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(wakeWrite_, &byte, 1);
    if (loopThread_.joinable()) loopThread_.join();
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
}

}  // namespace kivo::emulator
