// The alarms page's small HTTP server on Winsock. Stop closes the listening
// socket: the blocked accept then fails and the thread ends.
#include "emulator/AlarmsPage.h"

#include <winsock2.h>

namespace kivo::emulator {
namespace {

constexpr std::size_t kMaxHeadBytes = 8192;
constexpr DWORD kClientWaitMs = 2000;

void AnswerOne(SOCKET client, World& world) {
  // A silent or endless client cannot hold the page: the head is bounded in
  // size and in the wait for each part of it.
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kClientWaitMs),
               sizeof kClientWaitMs);
  std::string head;
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHeadBytes) {
    const int n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  const std::string response = AnswerHttpRequest(head, world);
  std::size_t sent = 0;
  while (sent < response.size()) {
    const int n = ::send(client, response.data() + sent, static_cast<int>(response.size() - sent), 0);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

bool AlarmsPage::Start(std::uint16_t port, std::string* error) {
  Stop();
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    if (error) *error = "alarms page: Winsock cannot start";
    return false;
  }
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, 16) != 0) {
    if (error) {
      *error = "alarms page: cannot listen on 127.0.0.1:" + std::to_string(port) + " (Winsock error " +
               std::to_string(::WSAGetLastError()) + ")";
    }
    if (s != INVALID_SOCKET) ::closesocket(s);
    ::WSACleanup();
    return false;
  }
  int length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  listener_ = s;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void AlarmsPage::Stop() {
  if (listener_ == INVALID_SOCKET) return;
  ::closesocket(static_cast<SOCKET>(listener_));
  if (thread_.joinable()) thread_.join();
  listener_ = INVALID_SOCKET;
  ::WSACleanup();
}

void AlarmsPage::Serve() {
  for (;;) {
    const SOCKET client = ::accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    AnswerOne(client, world_);
    ::closesocket(client);
  }
}

}  // namespace kivo::emulator
