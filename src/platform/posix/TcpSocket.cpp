// TcpSocket on POSIX sockets: getaddrinfo for names, a non-blocking connect
// bounded by a time-out, non-blocking MSG_NOSIGNAL sends that wait for room
// through the SocketWait, Winsock codes for every failure.
#include "platform/TcpSocket.h"

#include "platform/SocketWait.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kivo::platform {
namespace {

thread_local int lastSocketError = 0;

// Waits through the caller's SocketWait, or with poll(2) when there is none.
int WaitFor(SocketWait* wait, int fd, short events, int timeoutMs) {
  if (wait != nullptr) return wait->WaitFor(fd, events, timeoutMs);
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, timeoutMs);
}

int NewSocket(int family) {
  return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

bool SetBlocking(int fd, bool blocking) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

// Connects fd to one address, waiting at most timeoutMs; 0 or an errno value.
int ConnectOne(int fd, const sockaddr* address, socklen_t length, int timeoutMs, SocketWait* wait) {
  if (!SetBlocking(fd, false)) return errno;
  int result = ::connect(fd, address, length);
  int error = result == 0 ? 0 : errno;
  if (error == EINPROGRESS) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        error = ETIMEDOUT;
        break;
      }
      int ready = WaitFor(wait, fd, POLLOUT, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        error = errno;
        break;
      }
      if (ready == 0) continue;  // the time left decides; a wait may end early
      socklen_t size = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
      break;
    }
  }
  if (!SetBlocking(fd, true) && error == 0) error = errno;
  return error;
}

}  // namespace

int WSAGetLastError() {
  return lastSocketError;
}
void WSASetLastError(int error) {
  lastSocketError = error;
}

bool SocketsAvailable() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

int WinsockErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return 0;
    case EINTR:
      return WSAEINTR;
    case EBADF:
      return WSAEBADF;
    case EACCES:
    case EPERM:
      return WSAEACCES;
    case EFAULT:
      return WSAEFAULT;
    case EMFILE:
    case ENFILE:
      return WSAEMFILE;
    case EAGAIN:
      return WSAEWOULDBLOCK;
    case EINPROGRESS:
      return WSAEINPROGRESS;
    case EALREADY:
      return WSAEALREADY;
    case ENOTSOCK:
      return WSAENOTSOCK;
    case EMSGSIZE:
      return WSAEMSGSIZE;
    case ENOPROTOOPT:
      return WSAENOPROTOOPT;
    case EAFNOSUPPORT:
      return WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return WSAENETDOWN;
    case ENETUNREACH:
      return WSAENETUNREACH;
    case ENETRESET:
      return WSAENETRESET;
    case ECONNABORTED:
      return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
      return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return WSAENOBUFS;
    case EISCONN:
      return WSAEISCONN;
    case ENOTCONN:
      return WSAENOTCONN;
    case ESHUTDOWN:
      return WSAESHUTDOWN;
    case ETIMEDOUT:
      return WSAETIMEDOUT;
    case ECONNREFUSED:
      return WSAECONNREFUSED;
    case EHOSTDOWN:
      return WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return WSAEHOSTUNREACH;
    default:
      return WSAEINVAL;
  }
}

TcpSocket::~TcpSocket() {
  Close();
}

BOOL TcpSocket::Fail(int errnoValue) {
  WSASetLastError(WinsockErrorFromErrno(errnoValue));
  return FALSE;
}

BOOL TcpSocket::Create(UINT port) {
  if (fd_ != INVALID_SOCKET) {
    WSASetLastError(WSAEINVAL);
    return FALSE;
  }
  int fd = NewSocket(AF_INET);
  if (fd < 0) return Fail(errno);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    int error = errno;
    ::close(fd);
    return Fail(error);
  }
  fd_ = fd;
  family_ = AF_INET;
  WSASetLastError(0);
  return TRUE;
}

BOOL TcpSocket::Connect(const std::string& host, UINT port) {
  if (fd_ == INVALID_SOCKET) {
    WSASetLastError(WSAENOTSOCK);
    return FALSE;
  }
  if (host.empty() || port > 65535) {
    WSASetLastError(WSAEINVAL);
    return FALSE;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses) != 0 || addresses == nullptr) {
    // The platform reports a name it cannot resolve as an invalid argument.
    WSASetLastError(WSAEINVAL);
    return FALSE;
  }
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(connectTimeoutMs_);
  int error = ETIMEDOUT;
  bool fresh = true;  // the created socket has not tried a connection yet
  for (addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      error = ETIMEDOUT;
      break;
    }
    // After a failed attempt a POSIX socket cannot connect again, and an
    // address of the other family needs a socket of its family.
    if (!fresh || a->ai_family != family_) {
      int fd = NewSocket(a->ai_family);
      if (fd < 0) {
        error = errno;
        continue;
      }
      ::close(fd_);
      fd_ = fd;
      family_ = a->ai_family;
    }
    fresh = false;
    error = ConnectOne(fd_, a->ai_addr, a->ai_addrlen, static_cast<int>(left.count()), wait_);
    if (error == 0) break;
  }
  ::freeaddrinfo(addresses);
  if (error != 0) return Fail(error);
  WSASetLastError(0);
  return TRUE;
}

int TcpSocket::Send(const void* data, int len) {
  if (fd_ == INVALID_SOCKET) {
    WSASetLastError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  if (len < 0 || (data == nullptr && len > 0)) {
    WSASetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  const char* bytes = static_cast<const char*>(data);
  int sent = 0;
  auto progress = std::chrono::steady_clock::now();  // when a byte last went out
  while (sent < len) {
    // Never blocks in the call itself: a full send buffer is waited out
    // through the SocketWait, which may keep the message loop running.
    ssize_t n = ::send(fd_, bytes + sent, static_cast<std::size_t>(len - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        int left = -1;
        if (sendTimeoutMs_ >= 0) {
          left = static_cast<int>(sendTimeoutMs_ - std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       std::chrono::steady_clock::now() - progress)
                                                       .count());
          if (left <= 0) {
            Fail(ETIMEDOUT);
            return SOCKET_ERROR;
          }
        }
        if (WaitFor(wait_, fd_, POLLOUT, left) >= 0 || errno == EINTR) continue;
      }
      Fail(errno);
      return SOCKET_ERROR;
    }
    sent += static_cast<int>(n);
    progress = std::chrono::steady_clock::now();
  }
  WSASetLastError(0);
  return len;
}

int TcpSocket::Receive(void* data, int len) {
  if (fd_ == INVALID_SOCKET) {
    WSASetLastError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  if (len < 0 || (data == nullptr && len > 0)) {
    WSASetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  for (;;) {
    ssize_t n = ::recv(fd_, data, static_cast<std::size_t>(len), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Fail(errno);
      return SOCKET_ERROR;
    }
    WSASetLastError(0);
    return static_cast<int>(n);
  }
}

void TcpSocket::Close() {
  if (fd_ != INVALID_SOCKET) ::close(fd_);
  fd_ = INVALID_SOCKET;
  family_ = 0;
}

BOOL TcpSocket::GetSockOpt(int optionName, void* optionValue, int* optionLength, int level) {
  if (fd_ == INVALID_SOCKET) {
    WSASetLastError(WSAENOTSOCK);
    return FALSE;
  }
  if (optionValue == nullptr || optionLength == nullptr || *optionLength < 4) {
    WSASetLastError(WSAEFAULT);
    return FALSE;
  }
  int name = 0;
  if (level == KIVO_SOL_SOCKET && optionName == KIVO_SO_SNDBUF) {
    name = SO_SNDBUF;
  } else if (level == KIVO_SOL_SOCKET && optionName == KIVO_SO_RCVBUF) {
    name = SO_RCVBUF;
  } else {
    WSASetLastError(WSAENOPROTOOPT);
    return FALSE;
  }
  int value = 0;
  socklen_t size = sizeof value;
  if (::getsockopt(fd_, SOL_SOCKET, name, &value, &size) != 0) return Fail(errno);
  std::memcpy(optionValue, &value, 4);
  *optionLength = 4;
  WSASetLastError(0);
  return TRUE;
}

}  // namespace kivo::platform
