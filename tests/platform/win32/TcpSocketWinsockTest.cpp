// TcpSocket and PollSocketWatcher on Winsock: the codes the SMTP session
// reports are the system's, and a loopback conversation is read when the
// watcher says it can be.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/PollSocketWatcher.h"
#include "platform/TcpSocket.h"

// After the platform headers: <winsock2.h> defines macros of the same names.
#include <winsock2.h>

namespace {

// A loopback listener of the test's own; Port() is where it listens.
class Listener {
 public:
  Listener() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(socket_, 4);
    int size = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { ::closesocket(socket_); }
  SOCKET Accept() { return ::accept(socket_, nullptr, nullptr); }
  unsigned Port() const { return port_; }

 private:
  SOCKET socket_;
  unsigned port_ = 0;
};

TEST(TcpSocketWinsockTest, AClosedPortIsRefusedAndAnUnknownNameIsAnInvalidArgument) {
  unsigned closedPort = 0;
  {
    Listener listener;
    closedPort = listener.Port();
  }
  kivo::platform::TcpSocket socket;
  ASSERT_TRUE(socket.Create());
  EXPECT_FALSE(socket.Connect("127.0.0.1", closedPort));
  EXPECT_EQ(kivo::platform::WSAGetLastError(), 10061);
  kivo::platform::TcpSocket other;
  ASSERT_TRUE(other.Create());
  EXPECT_FALSE(other.Connect("no-such-host.invalid", 25));
  EXPECT_EQ(kivo::platform::WSAGetLastError(), 10022);
}

TEST(TcpSocketWinsockTest, ALoopbackReplyIsReadWhenTheWatcherSaysSo) {
  Listener listener;
  kivo::platform::TcpSocket socket;
  ASSERT_TRUE(socket.Create());
  ASSERT_TRUE(socket.Connect("127.0.0.1", listener.Port()));
  SOCKET server = listener.Accept();
  ASSERT_EQ(socket.Send("HELO kivo\r\n", 11), 11);
  char line[32] = {};
  ASSERT_EQ(::recv(server, line, sizeof line, 0), 11);
  ::send(server, "250 ok\r\n", 8, 0);

  kivo::platform::PollSocketWatcher watcher;
  std::string reply;
  watcher.Watch(socket.Descriptor(), [&](int error) {
    EXPECT_EQ(error, 0);
    char buffer[64];
    int n = socket.Receive(buffer, sizeof buffer);
    if (n > 0) reply.append(buffer, n);
  });
  EXPECT_TRUE(watcher.RunUntil([&] { return reply == "250 ok\r\n"; }, std::chrono::seconds(10)));
  watcher.Unwatch(socket.Descriptor());
  ::closesocket(server);
}

}  // namespace
