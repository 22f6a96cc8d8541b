// The Winsock notifying socket under read notifications: a send that has to
// wait keeps the thread's window messages flowing (here a timer that drains
// the server side is what lets the send finish).
#include <string>

#include "win32ui/AsyncSocketWatcher.h"
#include "win32ui/WinApi.h"

#include <gtest/gtest.h>

namespace kivo::win32ui {
namespace {

constexpr UINT_PTR kDrainTimer = 7;
::SOCKET drainSocket = ~::SOCKET(0);
long long drained = 0;

LRESULT CALLBACK DrainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kDrainTimer) {
    char buffer[65536];
    int n;
    while ((n = recv(drainSocket, buffer, sizeof buffer, 0)) > 0) drained += n;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

class TcpSocketWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    int length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 1);
  }
  void TearDown() override {
    closesocket(listener_);
    WSACleanup();
  }
  ::SOCKET listener_ = ~::SOCKET(0);
  unsigned port_ = 0;
};

TEST_F(TcpSocketWin32Test, SendThatMustWaitKeepsTheWindowMessagesFlowing) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DrainProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "KivoDrainTest";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "KivoDrainTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);

  platform::TcpSocket client;
  ASSERT_TRUE(client.Create());
  ASSERT_TRUE(client.Connect("127.0.0.1", port_));
  drainSocket = accept(listener_, nullptr, nullptr);
  u_long nonBlocking = 1;
  ioctlsocket(drainSocket, FIONBIO, &nonBlocking);
  // Under read notifications, as the SMTP session's socket is.
  AsyncSocketWatcher watcher;
  watcher.SetWindow(window);
  watcher.Watch(client.Descriptor(), [](int) {});

  drained = 0;
  SetTimer(window, kDrainTimer, 20, nullptr);
  // Far more than the socket buffers hold: only the timer's reads let it end.
  const std::string payload(16 * 1024 * 1024, 'x');
  EXPECT_EQ(client.Send(payload.data(), static_cast<int>(payload.size())), static_cast<int>(payload.size()));
  EXPECT_GT(drained, 0);
  KillTimer(window, kDrainTimer);
  watcher.Unwatch(client.Descriptor());
  closesocket(drainSocket);
  DestroyWindow(window);
}

}  // namespace
}  // namespace kivo::win32ui
