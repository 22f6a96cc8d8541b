// TcpSocket on Winsock, as the platform's notifying socket class behaves: a
// connect and a send that block the caller but keep the thread's window
// messages flowing while they wait (so the windows stay alive and queued
// notifications are handled), a time-out on connect, Winsock's own codes.
#include "platform/TcpSocket.h"

#include <algorithm>
#include <string>

// After the platform headers: the Windows headers define macros of the same
// names (SOCKET_ERROR, INVALID_SOCKET, WSAE...).
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

namespace kivo::platform {
namespace {

thread_local int lastSocketError = 0;

// What the header calls INVALID_SOCKET (the macro of that name is Winsock's).
constexpr int kNoSocket = -1;

::SOCKET Native(int fd) {
  return static_cast<::SOCKET>(static_cast<unsigned>(fd));
}

// Dispatches the window messages waiting on this thread, as a blocking call
// of the platform's socket class does while it waits.
void PumpWindowMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the thread's own loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Waits until the socket is writable (connected) or fails, at most timeoutMs,
// dispatching window messages meanwhile; 0 or a Winsock code.
int WaitWritable(::SOCKET socket, int timeoutMs) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval now{0, 0};
    const int ready = ::select(0, nullptr, &writable, &failed, &now);
    if (ready == SOCKET_ERROR) return ::WSAGetLastError();
    if (ready > 0) {
      if (!FD_ISSET(socket, &failed)) return 0;
      int error = 0;
      int size = sizeof error;
      ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
      return error != 0 ? error : WSAECONNREFUSED;
    }
    const ULONGLONG current = GetTickCount64();
    if (current >= end) return WSAETIMEDOUT;
    // Wakes for a window message or after a short slice to look again.
    const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(end - current, 10));
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
    PumpWindowMessages();
  }
}

void SetError(int error) {
  lastSocketError = error;
}

}  // namespace

int WSAGetLastError() {
  return lastSocketError;
}
void WSASetLastError(int error) {
  lastSocketError = error;
}

int WinsockErrorFromErrno(int error) {
  // Winsock reports its own codes; only "no error" needs translating here.
  return error == 0 ? 0 : WSAEINVAL;
}

TcpSocket::~TcpSocket() {
  Close();
}

BOOL TcpSocket::Create(UINT port) {
  if (fd_ != kNoSocket) {
    SetError(WSAEINVAL);
    return FALSE;
  }
  const ::SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket == ~::SOCKET(0)) {
    SetError(::WSAGetLastError());
    return FALSE;
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<u_short>(port));
  if (::bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    SetError(::WSAGetLastError());
    ::closesocket(socket);
    return FALSE;
  }
  fd_ = static_cast<int>(socket);
  family_ = AF_INET;
  lastSocketError = 0;
  return TRUE;
}

BOOL TcpSocket::Connect(const std::string& host, UINT port) {
  if (fd_ == kNoSocket) {
    SetError(WSAENOTSOCK);
    return FALSE;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* addresses = nullptr;
  const std::string service = std::to_string(port);
  if (host.empty() || ::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses) != 0) {
    // A name that does not resolve is an invalid argument, as the platform's
    // socket class reports it.
    SetError(WSAEINVAL);
    return FALSE;
  }
  const ::SOCKET socket = Native(fd_);
  // Non-blocking while connecting, so the wait can dispatch messages.
  u_long nonBlocking = 1;
  ::ioctlsocket(socket, FIONBIO, &nonBlocking);
  int error = WSAEINVAL;
  for (addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
    if (::connect(socket, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0) {
      error = 0;
      break;
    }
    error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) error = WaitWritable(socket, connectTimeoutMs_);
    if (error == 0) break;
  }
  ::freeaddrinfo(addresses);
  u_long blocking = 0;
  ::ioctlsocket(socket, FIONBIO, &blocking);
  if (error != 0) {
    SetError(error);
    return FALSE;
  }
  lastSocketError = 0;
  return TRUE;
}

int TcpSocket::Send(const void* data, int len) {
  if (fd_ == kNoSocket) {
    SetError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  const ::SOCKET socket = Native(fd_);
  const char* bytes = static_cast<const char*>(data);
  int sent = 0;
  while (sent < len) {
    const int n = ::send(socket, bytes + sent, len - sent, 0);
    if (n != SOCKET_ERROR) {
      sent += n;
      continue;
    }
    const int error = ::WSAGetLastError();
    // A socket under read notifications is non-blocking: a full buffer waits
    // with the messages flowing.
    if (error != WSAEWOULDBLOCK) {
      SetError(error);
      return SOCKET_ERROR;
    }
    const int waited = WaitWritable(socket, connectTimeoutMs_);
    if (waited != 0) {
      SetError(waited);
      return SOCKET_ERROR;
    }
  }
  lastSocketError = 0;
  return len;
}

int TcpSocket::Receive(void* data, int len) {
  if (fd_ == kNoSocket) {
    SetError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  const int n = ::recv(Native(fd_), static_cast<char*>(data), len, 0);
  if (n == SOCKET_ERROR) {
    SetError(::WSAGetLastError());
    return SOCKET_ERROR;
  }
  lastSocketError = 0;
  return n;
}

void TcpSocket::Close() {
  if (fd_ == kNoSocket) return;
  ::closesocket(Native(fd_));
  fd_ = kNoSocket;
}

BOOL TcpSocket::GetSockOpt(int optionName, void* optionValue, int* optionLength, int level) {
  if (fd_ == kNoSocket) {
    SetError(WSAENOTSOCK);
    return FALSE;
  }
  if (level != KIVO_SOL_SOCKET || (optionName != KIVO_SO_SNDBUF && optionName != KIVO_SO_RCVBUF) ||
      optionValue == nullptr || optionLength == nullptr || *optionLength < 4) {
    SetError(WSAENOPROTOOPT);
    return FALSE;
  }
  int size = 4;
  if (::getsockopt(Native(fd_), SOL_SOCKET, optionName == KIVO_SO_SNDBUF ? SO_SNDBUF : SO_RCVBUF,
                   static_cast<char*>(optionValue), &size) != 0) {
    SetError(::WSAGetLastError());
    return FALSE;
  }
  *optionLength = 4;
  lastSocketError = 0;
  return TRUE;
}

}  // namespace kivo::platform
