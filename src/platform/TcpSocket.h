// TcpSocket: the notifying TCP stream socket the SMTP sender is built on, with
// the operations and Winsock error codes of the platform's socket class:
// blocking connect and send (waiting through a SocketWait when one is given),
// receive of what is available, read readiness reported through a
// SocketWatcher by whoever owns the socket.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Win32Types.h"

namespace kivo::platform {
class SocketWait;
}

namespace kivo::platform {

constexpr int SOCKET_ERROR = -1;
constexpr int INVALID_SOCKET = -1;

// Winsock error codes, with their Windows numbers (they appear in the report
// and in "emaillog.txt").
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;

// The calling thread's last socket error. Every TcpSocket operation sets it:
// the Winsock code of its failure, or 0 when it succeeds.
int WSAGetLastError();
void WSASetLastError(int error);

// The Winsock code of an errno value (WSAEINVAL for one without a match).
int WinsockErrorFromErrno(int error);

// Whether this machine's sockets can be used at all (on Windows Winsock is
// started for it, once per process); start-up asks before anything else.
bool SocketsAvailable();

// Socket option names as the platform numbers them, level SOL_SOCKET.
constexpr int KIVO_SOL_SOCKET = 0xffff;
constexpr int KIVO_SO_SNDBUF = 0x1001;
constexpr int KIVO_SO_RCVBUF = 0x1002;

class TcpSocket {
 public:
  // How long Connect waits for a connection before it gives up with
  // WSAETIMEDOUT: the user-interface thread blocks in it, and an address that
  // never answers must not hang the program (a system's own TCP retries run
  // for minutes).
  static constexpr int kDefaultConnectTimeoutMs = 20000;

  TcpSocket() = default;
  ~TcpSocket();
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // A stream socket bound to any local address and the given port (0: any).
  // FALSE with the last socket error on failure, or when already created.
  BOOL Create(UINT port = 0);
  // Blocking connect to a host name or dotted IPv4 address. Names resolve
  // through the system resolver; one that does not resolve fails with
  // WSAEINVAL. Each address is tried in turn within the connect time-out.
  BOOL Connect(const std::string& host, UINT port);
  // Blocking send of all len bytes; len, or SOCKET_ERROR. With a send
  // time-out, a peer that takes no byte for that long fails it with
  // WSAETIMEDOUT.
  int Send(const void* data, int len);
  // Reads what is available, at most len bytes, blocking only when nothing
  // is: the byte count, 0 after an orderly close, or SOCKET_ERROR.
  int Receive(void* data, int len);
  // Closes the descriptor; harmless when there is none.
  void Close();
  // KIVO_SO_SNDBUF or KIVO_SO_RCVBUF at KIVO_SOL_SOCKET into a 4-byte value
  // (*optionLength at least 4, set to 4). FALSE with the last socket error;
  // other options fail with WSAENOPROTOOPT.
  BOOL GetSockOpt(int optionName, void* optionValue, int* optionLength, int level = KIVO_SOL_SOCKET);

  // The descriptor for a watcher; INVALID_SOCKET when there is none. It may
  // change in Connect (an address of another family needs a new socket).
  int Descriptor() const { return fd_; }
  void SetConnectTimeout(int ms) { connectTimeoutMs_ = ms; }
  // Negative (the default): a send waits for room as long as it takes.
  void SetSendTimeout(int ms) { sendTimeoutMs_ = ms; }
  // How Connect and Send wait; nullptr (the default) polls. Not owned.
  void SetWait(SocketWait* wait) { wait_ = wait; }

 private:
  BOOL Fail(int errnoValue);

  int fd_ = INVALID_SOCKET;
  int family_ = 0;
  int connectTimeoutMs_ = kDefaultConnectTimeoutMs;
  int sendTimeoutMs_ = -1;
  SocketWait* wait_ = nullptr;
};

}  // namespace kivo::platform
