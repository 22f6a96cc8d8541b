// ScriptedServer: blocking sockets with bounded polls, so a client that stops
// talking ends a script instead of hanging the test.
#include "mail/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace kivo::test {

namespace {
constexpr int kWaitMs = 10000;
}

ScriptedServer::ScriptedServer(std::vector<Script> scripts)
    : scripts_(std::move(scripts)), received_(scripts_.size()) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener_, 4);
  socklen_t size = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    gateOpen_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

void ScriptedServer::OpenGate() {
  {
    std::lock_guard lock(mutex_);
    gateOpen_ = true;
  }
  changed_.notify_all();
}

std::string ScriptedServer::Received(std::size_t index) {
  std::lock_guard lock(mutex_);
  return index < received_.size() ? received_[index] : std::string();
}

bool ScriptedServer::ReceivedContains(const std::string& text, std::size_t index) {
  return Received(index).find(text) != std::string::npos;
}

bool ScriptedServer::Finished() {
  std::lock_guard lock(mutex_);
  return finished_;
}

bool ScriptedServer::Join() {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return finished_; });
}

void ScriptedServer::Run() {
  for (std::size_t i = 0; i < scripts_.size(); ++i) {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) <= 0) break;
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) break;
    Serve(fd, scripts_[i], i);
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

bool ScriptedServer::ReadUntil(int fd, std::size_t index, const std::string& mark, std::size_t& seen) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return false;
      std::size_t at = received_[index].find(mark, seen);
      if (!mark.empty() && at != std::string::npos) {
        seen = at + mark.size();
        return true;
      }
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) <= 0) return false;
    char buffer[4096];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    {
      std::lock_guard lock(mutex_);
      received_[index].append(buffer, static_cast<std::size_t>(n));
    }
    changed_.notify_all();
  }
}

void ScriptedServer::Serve(int fd, const Script& script, std::size_t index) {
  std::size_t seen = 0;  // received bytes already matched by a step
  bool open = true;
  for (const ServerStep& step : script) {
    if (!open) break;
    switch (step.kind) {
      case ServerStep::Reply:
        open = ::send(fd, step.text.data(), step.text.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(step.text.size());
        break;
      case ServerStep::ReadLine:
        open = ReadUntil(fd, index, "\r\n", seen);
        break;
      case ServerStep::ReadData:
        open = ReadUntil(fd, index, "\r\n.\r\n", seen);
        break;
      case ServerStep::Gate: {
        std::unique_lock lock(mutex_);
        open = changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return gateOpen_; });
        break;
      }
      case ServerStep::Close:
        ::close(fd);
        fd = -1;
        open = false;
        break;
      case ServerStep::Reset: {
        linger abortive{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        ::close(fd);
        fd = -1;
        open = false;
        break;
      }
    }
  }
  if (fd >= 0) {
    std::size_t none = 0;
    ReadUntil(fd, index, std::string(), none);  // until the client closes
    ::close(fd);
  }
}

}  // namespace kivo::test
