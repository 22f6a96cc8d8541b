// TcpSocket and PollSocketWatcher on loopback: connect, send and receive,
// socket options, the Winsock codes of failures, and notifications.
#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/PollSocketWatcher.h"

namespace kivo::platform {
namespace {

using namespace std::chrono_literals;

// A loopback listener on an ephemeral port.
class Listener {
 public:
  explicit Listener(int backlog = 4) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, backlog);
    socklen_t size = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { ::close(fd_); }
  // The next connection, waiting at most a few seconds; -1 on time-out.
  int Accept() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return -1;
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  unsigned Port() const { return port_; }

 private:
  int fd_ = -1;
  unsigned port_ = 0;
};

unsigned ClosedPort() {
  int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(probe);
  return ntohs(address.sin_port);
}

TEST(TcpSocketTest, SendsAndReceivesOverLoopback) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Create(), TRUE);
  ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), TRUE);
  EXPECT_EQ(WSAGetLastError(), 0);
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);

  EXPECT_EQ(socket.Send("HELO x\r\n", 8), 8);
  char buffer[64] = {};
  EXPECT_EQ(::recv(peer, buffer, sizeof buffer, 0), 8);
  EXPECT_EQ(std::string(buffer, 8), "HELO x\r\n");

  ASSERT_EQ(::send(peer, "220 ok\r\n", 8, 0), 8);
  char reply[512];
  EXPECT_EQ(socket.Receive(reply, 3), 3);  // no more than asked
  EXPECT_EQ(socket.Receive(reply, sizeof reply), 5);
  EXPECT_EQ(std::string(reply, 5), " ok\r\n");

  ::close(peer);
  EXPECT_EQ(socket.Receive(reply, sizeof reply), 0);  // orderly close
  EXPECT_EQ(WSAGetLastError(), 0);
}

TEST(TcpSocketTest, ReadsTheBufferSizesAsFourByteValues) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Create(), TRUE);
  ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), TRUE);
  std::int32_t sendSize = 0, receiveSize = 0;
  int length = 4;
  EXPECT_EQ(socket.GetSockOpt(KIVO_SO_SNDBUF, &sendSize, &length), TRUE);
  EXPECT_EQ(length, 4);
  length = 4;
  EXPECT_EQ(socket.GetSockOpt(KIVO_SO_RCVBUF, &receiveSize, &length, KIVO_SOL_SOCKET), TRUE);
  EXPECT_GT(sendSize, 0);
  EXPECT_GT(receiveSize, 0);
  length = 4;
  EXPECT_EQ(socket.GetSockOpt(0x0080 /* SO_LINGER */, &sendSize, &length), FALSE);
  EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
  length = 2;
  EXPECT_EQ(socket.GetSockOpt(KIVO_SO_SNDBUF, &sendSize, &length), FALSE);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST(TcpSocketTest, FailuresCarryWinsockCodes) {
  TcpSocket socket;
  char byte = 0;
  EXPECT_EQ(socket.Send("x", 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(socket.Receive(&byte, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(socket.Connect("127.0.0.1", 25), FALSE);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);

  ASSERT_EQ(socket.Create(), TRUE);
  EXPECT_EQ(socket.Create(), FALSE);  // already created
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);

  EXPECT_EQ(socket.Connect("127.0.0.1", ClosedPort()), FALSE);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);

  TcpSocket unresolved;
  ASSERT_EQ(unresolved.Create(), TRUE);
  EXPECT_EQ(unresolved.Connect("no-such-host.invalid", 25), FALSE);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(unresolved.Connect("", 25), FALSE);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(unresolved.Connect("999.1.1.1", 25), FALSE);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST(TcpSocketTest, ARefusedAddressIsFollowedByTheNextOne) {
  // "localhost" may name ::1 before 127.0.0.1; the listener is IPv4 only.
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Create(), TRUE);
  EXPECT_EQ(socket.Connect("localhost", listener.Port()), TRUE);
  EXPECT_GE(listener.Accept(), 0);
}

TEST(TcpSocketTest, AConnectThatIsNeverAnsweredEndsWithTimedOut) {
  // A listener whose queue is full drops further connection requests.
  Listener listener(0);
  TcpSocket first, second;
  ASSERT_EQ(first.Create(), TRUE);
  ASSERT_EQ(first.Connect("127.0.0.1", listener.Port()), TRUE);
  ASSERT_EQ(second.Create(), TRUE);
  second.SetConnectTimeout(300);
  second.Connect("127.0.0.1", listener.Port());  // may still fit in the queue
  TcpSocket socket;
  socket.SetConnectTimeout(300);
  ASSERT_EQ(socket.Create(), TRUE);
  auto start = std::chrono::steady_clock::now();
  BOOL connected = socket.Connect("127.0.0.1", listener.Port());
  auto took = std::chrono::steady_clock::now() - start;
  if (connected == TRUE) GTEST_SKIP() << "this kernel queued the connection";
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_LT(took, 5s);
}

TEST(TcpSocketTest, SendingToAResetPeerFails) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Create(), TRUE);
  ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), TRUE);
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  linger abortive{1, 0};
  ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  ::close(peer);
  pollfd p{socket.Descriptor(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  // No SIGPIPE: the failure comes back as a code.
  int result = 0;
  for (int i = 0; i < 10 && result != SOCKET_ERROR; ++i) result = socket.Send("data", 4);
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

TEST(TcpSocketTest, APeerThatTakesNothingTimesTheSendOut) {
  Listener listener;
  TcpSocket socket;
  ASSERT_TRUE(socket.Create());
  ASSERT_TRUE(socket.Connect("127.0.0.1", listener.Port()));
  const int peer = listener.Accept();  // never reads
  socket.SetSendTimeout(200);
  const std::string data(16 << 20, 'x');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(socket.Send(data.data(), static_cast<int>(data.size())), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  ::close(peer);
}

TEST(TcpSocketTest, ErrnoValuesMapToWinsockCodes) {
  struct Row {
    int error;
    int code;
  };
  const Row rows[] = {
      {0, 0},
      {ECONNREFUSED, 10061},
      {ETIMEDOUT, 10060},
      {EHOSTUNREACH, 10065},
      {ENETUNREACH, 10051},
      {ECONNRESET, 10054},
      {EPIPE, 10054},
      {ECONNABORTED, 10053},
      {ENOTCONN, 10057},
      {EADDRINUSE, 10048},
      {EAGAIN, 10035},
      {EMFILE, 10024},
      {EINVAL, 10022},
      {EDOM, 10022},
  };
  for (const Row& row : rows) EXPECT_EQ(WinsockErrorFromErrno(row.error), row.code) << row.error;
}

TEST(TcpSocketTest, TheLastSocketErrorBelongsToItsThread) {
  WSASetLastError(10061);
  int seen = -1;
  std::thread([&] { seen = WSAGetLastError(); }).join();
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(WSAGetLastError(), 10061);
}

TEST(PollSocketWatcherTest, ReportsReadableDescriptorsAndSurvivesUnwatchInItsCallback) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Create(), TRUE);
  ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), TRUE);
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);

  PollSocketWatcher watcher;
  int calls = 0;
  std::string captured = "kept alive";
  watcher.Watch(socket.Descriptor(), [&, captured](int errorCode) {
    ++calls;
    EXPECT_EQ(errorCode, 0);
    watcher.Unwatch(socket.Descriptor());
    EXPECT_EQ(captured, "kept alive");  // the running callback outlives its entry
  });
  EXPECT_EQ(watcher.RunOnce(0), 0);  // nothing to read yet
  ASSERT_EQ(::send(peer, "x", 1, 0), 1);
  EXPECT_EQ(watcher.RunOnce(5000), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(watcher.IsWatching(socket.Descriptor()));
  EXPECT_EQ(watcher.RunOnce(0), 0);
  ::close(peer);
}

TEST(PollSocketWatcherTest, AResetIsReportedWithItsCode) {
  Listener listener;
  TcpSocket socket;
  ASSERT_EQ(socket.Create(), TRUE);
  ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), TRUE);
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  linger abortive{1, 0};
  ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  ::close(peer);

  PollSocketWatcher watcher;
  int code = -1;
  watcher.Watch(socket.Descriptor(), [&](int errorCode) { code = errorCode; });
  EXPECT_TRUE(watcher.RunUntil([&] { return code != -1; }, 5s));
  EXPECT_EQ(code, WSAECONNRESET);
}

}  // namespace
}  // namespace kivo::platform
