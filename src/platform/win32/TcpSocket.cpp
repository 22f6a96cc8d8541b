// TcpSocket on Winsock (started once at version 1.1, as the platform's socket
// class starts it): getaddrinfo for names, a non-blocking connect bounded by
// a time-out, the system's own Winsock codes for every failure. As the
// platform's notifying socket does, a connect or send that has to wait keeps
// the calling thread's window messages flowing meanwhile.
#include "platform/TcpSocket.h"

#include <algorithm>
#include <chrono>
#include <cstring>

// After the platform headers: <winsock2.h> defines macros of the same names.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

namespace kivo::platform {
namespace {

// The descriptor of no socket, as TcpSocket keeps it (the header's
// INVALID_SOCKET is the system's macro here).
constexpr int kNoSocket = -1;

bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
  }();
  return started;
}

int NewSocket(int family) {
  if (!StartWinsock()) return kNoSocket;
  const SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
  return s == static_cast<SOCKET>(~0ull) ? kNoSocket : static_cast<int>(s);
}

SOCKET Handle(int fd) {
  return static_cast<SOCKET>(static_cast<unsigned>(fd));
}

// Dispatches the window messages waiting on this thread (the windows stay
// alive, queued notifications are handled), as a blocking call of the
// platform's socket class does while it waits.
void PumpWindowMessages() {
  MSG message;
  while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the thread's own loop.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

// Waits until the socket is writable (connected) or has failed, at most
// timeoutMs, with the window messages flowing; 0 or a Winsock code.
int WaitWritable(SOCKET socket, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval now{0, 0};
    const int ready = ::select(0, nullptr, &writable, &failed, &now);
    if (ready < 0) return ::WSAGetLastError();
    if (ready > 0) {
      if (!FD_ISSET(socket, &failed)) return 0;
      int error = 0;
      int size = sizeof error;
      if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        return ::WSAGetLastError();
      }
      return error != 0 ? error : WSAECONNREFUSED;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return WSAETIMEDOUT;
    // Wakes for a window message, else looks at the socket again soon.
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<long long>(left.count(), 10)),
                                QS_ALLINPUT);
    PumpWindowMessages();
  }
}

// Connects fd to one address, waiting at most timeoutMs; 0 or a Winsock code.
int ConnectOne(int fd, const sockaddr* address, int length, int timeoutMs) {
  u_long nonBlocking = 1;
  if (::ioctlsocket(Handle(fd), FIONBIO, &nonBlocking) != 0) return ::WSAGetLastError();
  int error = 0;
  if (::connect(Handle(fd), address, length) != 0) error = ::WSAGetLastError();
  if (error == WSAEWOULDBLOCK) error = WaitWritable(Handle(fd), timeoutMs);
  u_long blocking = 0;
  if (::ioctlsocket(Handle(fd), FIONBIO, &blocking) != 0 && error == 0) error = ::WSAGetLastError();
  return error;
}

}  // namespace

bool SocketsAvailable() {
  return StartWinsock();
}

int WSAGetLastError() {
  return ::WSAGetLastError();
}
void WSASetLastError(int error) {
  ::WSASetLastError(error);
}

// The C run time's errno values have no socket meaning on Windows: the
// sockets report Winsock codes themselves.
int WinsockErrorFromErrno(int error) {
  return error == 0 ? 0 : WSAEINVAL;
}

TcpSocket::~TcpSocket() {
  Close();
}

BOOL TcpSocket::Fail(int winsockError) {
  ::WSASetLastError(winsockError);
  return FALSE;
}

BOOL TcpSocket::Create(UINT port) {
  if (fd_ != kNoSocket) return Fail(WSAEINVAL);
  const int fd = NewSocket(AF_INET);
  if (fd == kNoSocket) return Fail(StartWinsock() ? ::WSAGetLastError() : WSAENETDOWN);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<u_short>(port));
  if (::bind(Handle(fd), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int error = ::WSAGetLastError();
    ::closesocket(Handle(fd));
    return Fail(error);
  }
  fd_ = fd;
  family_ = AF_INET;
  ::WSASetLastError(0);
  return TRUE;
}

BOOL TcpSocket::Connect(const std::string& host, UINT port) {
  if (fd_ == kNoSocket) return Fail(WSAENOTSOCK);
  if (host.empty() || port > 65535) return Fail(WSAEINVAL);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses) != 0 || addresses == nullptr) {
    // The platform reports a name it cannot resolve as an invalid argument.
    return Fail(WSAEINVAL);
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(connectTimeoutMs_);
  int error = WSAETIMEDOUT;
  bool fresh = true;  // the created socket has not tried a connection yet
  for (addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      error = WSAETIMEDOUT;
      break;
    }
    // A socket whose connection failed is not tried again, and an address of
    // the other family needs a socket of its family.
    if (!fresh || a->ai_family != family_) {
      const int fd = NewSocket(a->ai_family);
      if (fd == kNoSocket) {
        error = ::WSAGetLastError();
        continue;
      }
      ::closesocket(Handle(fd_));
      fd_ = fd;
      family_ = a->ai_family;
    }
    fresh = false;
    error = ConnectOne(fd_, a->ai_addr, static_cast<int>(a->ai_addrlen), static_cast<int>(left.count()));
    if (error == 0) break;
  }
  ::freeaddrinfo(addresses);
  if (error != 0) return Fail(error);
  ::WSASetLastError(0);
  return TRUE;
}

int TcpSocket::Send(const void* data, int len) {
  if (fd_ == kNoSocket) return Fail(WSAENOTSOCK), -1;
  if (len < 0 || (data == nullptr && len > 0)) return Fail(WSAEFAULT), -1;
  const char* bytes = static_cast<const char*>(data);
  int sent = 0;
  while (sent < len) {
    const int n = ::send(Handle(fd_), bytes + sent, len - sent, 0);
    if (n >= 0) {
      sent += n;
      continue;
    }
    const int error = ::WSAGetLastError();
    // A socket under read notifications is non-blocking: a full buffer is
    // waited out with the window messages flowing.
    if (error != WSAEWOULDBLOCK) return Fail(error), -1;
    const int waited = WaitWritable(Handle(fd_), connectTimeoutMs_);
    if (waited != 0) return Fail(waited), -1;
  }
  ::WSASetLastError(0);
  return len;
}

int TcpSocket::Receive(void* data, int len) {
  if (fd_ == kNoSocket) return Fail(WSAENOTSOCK), -1;
  if (len < 0 || (data == nullptr && len > 0)) return Fail(WSAEFAULT), -1;
  const int n = ::recv(Handle(fd_), static_cast<char*>(data), len, 0);
  if (n < 0) return Fail(::WSAGetLastError()), -1;
  ::WSASetLastError(0);
  return n;
}

void TcpSocket::Close() {
  if (fd_ != kNoSocket) ::closesocket(Handle(fd_));
  fd_ = kNoSocket;
  family_ = 0;
}

BOOL TcpSocket::GetSockOpt(int optionName, void* optionValue, int* optionLength, int level) {
  if (fd_ == kNoSocket) return Fail(WSAENOTSOCK);
  if (optionValue == nullptr || optionLength == nullptr || *optionLength < 4) return Fail(WSAEFAULT);
  // The platform's own numbering: KIVO_SOL_SOCKET and KIVO_SO_* are SOL_SOCKET
  // and SO_SNDBUF / SO_RCVBUF.
  if (level != KIVO_SOL_SOCKET || (optionName != KIVO_SO_SNDBUF && optionName != KIVO_SO_RCVBUF)) {
    return Fail(WSAENOPROTOOPT);
  }
  int value = 0;
  int size = sizeof value;
  if (::getsockopt(Handle(fd_), level, optionName, reinterpret_cast<char*>(&value), &size) != 0) {
    return Fail(::WSAGetLastError());
  }
  std::memcpy(optionValue, &value, 4);
  *optionLength = 4;
  ::WSASetLastError(0);
  return TRUE;
}

}  // namespace kivo::platform
