// The device side over real sockets: DeviceServer with the socket DeviceIo,
// and the socket DeviceIo against hand-made servers that misbehave (wrong
// reply length, dropped connection, no reply).
#include "emulator/DeviceServer.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "controller/ControllerSet.h"
#include "emulator/WorldFile.h"
#include "platform/DeviceIo.h"
#include "platform/HostFacts.h"
#include "platform/LastError.h"
#include "platform/posix/SocketDeviceIo.h"
#include "support/FakeClock.h"
#include "support/HostDoubles.h"
#include "support/TempDir.h"

namespace kivo::emulator {
namespace {

using platform::DWORD;
using platform::HANDLE;
using namespace kivo::request;

using TempDir = test::TempDir;

using FixedHost = test::FakeHostFacts;

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

Bytes IdentifyRequest() {
  Bytes request(544, 0);
  PutU32(&request[0], 28);
  std::memcpy(&request[4], kSignature.data(), 8);
  PutU32(&request[24], 516);
  request[32] = kOpcodeIdentify;
  return request;
}

class DeviceServerTest : public ::testing::Test {
 protected:
  void Load(const std::string& json) {
    std::string error;
    ASSERT_TRUE(LoadWorldText(json, "test.json", world, &error)) << error;
  }
  std::string Dir() const { return temp.Path() + "/dev"; }

  TempDir temp;
  World world;
};

TEST_F(DeviceServerTest, ServesOneSocketPerControllerInAPrivateDirectoryAndRemovesThem) {
  BuildDefaultWorld(world);
  const std::string dir = temp.Path() + "/a/b";
  DeviceServer server(world, dir);
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  struct stat info {};
  ASSERT_EQ(::stat(dir.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(Exists(dir + "/Scsi0:"));
  EXPECT_TRUE(Exists(dir + "/Scsi1:"));
  server.Stop();
  EXPECT_FALSE(Exists(dir + "/Scsi0:"));
  EXPECT_FALSE(Exists(dir + "/Scsi1:"));
}

TEST_F(DeviceServerTest, VirtualDeviceHasOneSocket) {
  Load(R"({"family": "virtual", "controllers": [{"port": 0}, {"port": 1}]})");
  DeviceServer server(world, Dir());
  ASSERT_TRUE(server.Start(nullptr));
  EXPECT_EQ(server.SocketPaths(), (std::vector<std::string>{Dir() + "/ZELKAVSD"}));
}

TEST_F(DeviceServerTest, ControllerListOverSockets) {
  BuildDefaultWorld(world);
  DeviceServer server(world, Dir());
  ASSERT_TRUE(server.Start(nullptr));
  auto io = platform::MakeSocketDeviceIo(Dir());
  FixedHost host;
  test::FakeClock clock;
  platform::PlatformContext context;
  context.clock = &clock;
  context.host = &host;
  context.device = io.get();
  ControllerSet set(context);
  set.Initialise();
  ASSERT_EQ(set.ControllerCount(), 2);
  EXPECT_EQ(set.ControllerIdAt(0), 0);
  EXPECT_EQ(set.ControllerIdAt(1), 1);
  ASSERT_EQ(set.Open(1), 0);
  ASSERT_EQ(set.QueryDriver(), 0);
  EXPECT_STREQ(set.DriverText(), "Zelka NT driver 2.10.04.018");
  std::array<char, 16> model{};
  ASSERT_EQ(set.GetParameter(0x402, 8, 16, model.data()), 0);
  EXPECT_STREQ(model.data(), "Zelka Z-880");
  EXPECT_EQ(set.Close(), 0);
  std::lock_guard lock(world.mutex);
  EXPECT_EQ(world.deviceCalls, 2u * 2u + 2u + 1u);
}

TEST_F(DeviceServerTest, MissingAndRefusingDevices) {
  Load(R"({"controllers": [{"port": 0, "faults": {"openError": 2}}, {"port": 1, "faults": {"openError": 5}},
           {"port": 2, "faults": {"openError": 31}}]})");
  DeviceServer server(world, Dir());
  ASSERT_TRUE(server.Start(nullptr));
  EXPECT_FALSE(Exists(Dir() + "/Scsi0:"));
  auto io = platform::MakeSocketDeviceIo(Dir());
  EXPECT_EQ(io->CreateFileA("\\\\.\\Scsi0:", 0, 0, nullptr, 0, 0, 0), platform::INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), 2u);
  EXPECT_EQ(io->CreateFileA("\\\\.\\Scsi1:", 0, 0, nullptr, 0, 0, 0), platform::INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), 5u);
  EXPECT_EQ(io->CreateFileA("\\\\.\\Scsi2:", 0, 0, nullptr, 0, 0, 0), platform::INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), 5u);
  EXPECT_EQ(io->CreateFileA("\\\\.\\Scsi7:", 0, 0, nullptr, 0, 0, 0), platform::INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), 2u);
}

TEST_F(DeviceServerTest, BadDeviceNamesAreNotFound) {
  auto io = platform::MakeSocketDeviceIo(Dir());
  for (const char* name : {"Scsi0:", "\\\\.\\", "\\\\.\\..\\x/y", "", "\\\\.\\a/b"}) {
    EXPECT_EQ(io->CreateFileA(name, 0, 0, nullptr, 0, 0, 0), platform::INVALID_HANDLE_VALUE) << name;
    EXPECT_EQ(platform::GetLastError(), 2u) << name;
  }
  EXPECT_EQ(io->CreateFileA(nullptr, 0, 0, nullptr, 0, 0, 0), platform::INVALID_HANDLE_VALUE);
  EXPECT_EQ(io->CloseHandle(12345), platform::FALSE);
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_INVALID_HANDLE);
  DWORD returned = 0;
  EXPECT_EQ(io->DeviceIoControl(12345, 1, nullptr, 0, nullptr, 0, &returned, nullptr), platform::FALSE);
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_INVALID_HANDLE);
}

TEST_F(DeviceServerTest, DroppedConnectionGives1167ThenAndAfter) {
  Load(R"({"controllers": [{"port": 0, "faults": {"parameters": [{"table": 3, "parameter": 2,
           "disconnect": true}]}}]})");
  DeviceServer server(world, Dir());
  ASSERT_TRUE(server.Start(nullptr));
  auto io = platform::MakeSocketDeviceIo(Dir());
  FixedHost host;
  test::FakeClock clock;
  platform::PlatformContext context;
  context.clock = &clock;
  context.host = &host;
  context.device = io.get();
  ControllerSet set(context);
  ASSERT_EQ(set.Open(0), 0);
  std::uint16_t count = 0;
  EXPECT_EQ(set.GetParameter(3, 2, 2, &count), -1);
  EXPECT_EQ(set.SystemError(), 1167u);
  EXPECT_EQ(set.QueryDriver(), -1);
  EXPECT_EQ(set.SystemError(), 1167u);
  EXPECT_EQ(set.Close(), 0);
}

TEST_F(DeviceServerTest, DeviceErrorsTravelBack) {
  Load(R"({"controllers": [{"port": 0, "faults": {"queryDriverError": 21}}]})");
  DeviceServer server(world, Dir());
  ASSERT_TRUE(server.Start(nullptr));
  auto io = platform::MakeSocketDeviceIo(Dir());
  const HANDLE handle = io->CreateFileA("\\\\.\\Scsi0:", 0, 0, nullptr, 0, 0, 0);
  ASSERT_NE(handle, platform::INVALID_HANDLE_VALUE);
  Bytes buffer = IdentifyRequest();
  const Bytes before = buffer;
  DWORD returned = 0;
  EXPECT_EQ(io->DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, buffer.data(), 544, buffer.data(), 544,
                                &returned, nullptr),
            platform::FALSE);
  EXPECT_EQ(platform::GetLastError(), 21u);
  EXPECT_EQ(buffer, before);
  // A request the device does not expect is a device error, and the
  // connection stays usable.
  EXPECT_EQ(io->DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, buffer.data(), 100, buffer.data(), 100,
                                &returned, nullptr),
            platform::FALSE);
  EXPECT_EQ(platform::GetLastError(), 87u);
  buffer[34] = 1;  // the identify of Open is not failed by this world
  EXPECT_EQ(io->DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, buffer.data(), 544, buffer.data(), 544,
                                &returned, nullptr),
            platform::TRUE);
  EXPECT_EQ(returned, 544u);
  EXPECT_EQ(io->CloseHandle(handle), platform::TRUE);
}

TEST_F(DeviceServerTest, SecondServerOnTheSameDirectoryIsRefused) {
  BuildDefaultWorld(world);
  DeviceServer first(world, Dir());
  ASSERT_TRUE(first.Start(nullptr));
  DeviceServer second(world, Dir());
  std::string error;
  EXPECT_FALSE(second.Start(&error));
  EXPECT_NE(error.find("another server already answers"), std::string::npos) << error;
  second.Stop();
  // The first server's sockets survive the refused one.
  EXPECT_TRUE(Exists(Dir() + "/Scsi0:"));
}

TEST_F(DeviceServerTest, StaleSocketIsReplaced) {
  BuildDefaultWorld(world);
  ASSERT_TRUE(MakePrivateDirectory(Dir()));
  const std::string path = Dir() + "/Scsi0:";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);
  DeviceServer server(world, Dir());
  std::string error;
  EXPECT_TRUE(server.Start(&error)) << error;
  auto io = platform::MakeSocketDeviceIo(Dir());
  const HANDLE handle = io->CreateFileA("\\\\.\\Scsi0:", 0, 0, nullptr, 0, 0, 0);
  EXPECT_NE(handle, platform::INVALID_HANDLE_VALUE);
  io->CloseHandle(handle);
}

TEST_F(DeviceServerTest, ManyClientsAtOnce) {
  BuildDefaultWorld(world);
  world.recordRequests = false;
  DeviceServer server(world, Dir());
  ASSERT_TRUE(server.Start(nullptr));
  auto io = platform::MakeSocketDeviceIo(Dir());
  std::vector<std::thread> clients;
  std::atomic<int> good{0};
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      const std::string name = c % 2 ? "\\\\.\\Scsi1:" : "\\\\.\\Scsi0:";
      const HANDLE handle = io->CreateFileA(name.c_str(), 0, 0, nullptr, 0, 0, 0);
      for (int i = 0; i < 50; ++i) {
        Bytes buffer = IdentifyRequest();
        DWORD returned = 0;
        if (io->DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, buffer.data(), 544, buffer.data(), 544,
                                &returned, nullptr) &&
            GetU16(&buffer[32 + 50]) == 3) {
          ++good;
        }
      }
      io->CloseHandle(handle);
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(good.load(), 200);
}

TEST_F(DeviceServerTest, StoppedServerDropsItsClients) {
  BuildDefaultWorld(world);
  auto server = std::make_unique<DeviceServer>(world, Dir());
  ASSERT_TRUE(server->Start(nullptr));
  auto io = platform::MakeSocketDeviceIo(Dir());
  const HANDLE handle = io->CreateFileA("\\\\.\\Scsi0:", 0, 0, nullptr, 0, 0, 0);
  ASSERT_NE(handle, platform::INVALID_HANDLE_VALUE);
  server.reset();
  Bytes buffer = IdentifyRequest();
  DWORD returned = 0;
  EXPECT_EQ(io->DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, buffer.data(), 544, buffer.data(), 544,
                                &returned, nullptr),
            platform::FALSE);
  EXPECT_EQ(platform::GetLastError(), 1167u);
}

// A one-connection server whose behaviour the test writes.
class RawServer {
 public:
  RawServer(const std::string& path, std::function<void(int)> behaviour) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    ::listen(listener_, 1);
    thread_ = std::thread([this, behaviour] {
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd >= 0) {
        behaviour(fd);
        ::close(fd);
      }
    });
  }
  ~RawServer() {
    Join();
    ::close(listener_);
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  int listener_ = -1;
  std::thread thread_;
};

void ReadRequest(int fd) {
  std::uint8_t head[12];
  ASSERT_EQ(::recv(fd, head, 12, MSG_WAITALL), 12);
  std::vector<std::uint8_t> input(GetU32(head + 4));
  if (!input.empty()) {
    ASSERT_EQ(::recv(fd, input.data(), input.size(), MSG_WAITALL), static_cast<ssize_t>(input.size()));
  }
}

void Reply(int fd, std::uint32_t error, std::uint32_t length, std::size_t bytesSent) {
  std::vector<std::uint8_t> frame(8 + bytesSent, 0x77);
  PutU32(frame.data(), error);
  PutU32(frame.data() + 4, length);
  ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
}

class SocketDeviceIoTest : public ::testing::Test {
 protected:
  // Opens the device, makes one 544-byte call; the result, the error and
  // whether the buffer stayed as it was.
  platform::BOOL CallOnce(std::chrono::milliseconds wait = std::chrono::milliseconds(10000)) {
    auto io = platform::MakeSocketDeviceIo(temp.Path(), wait);
    const HANDLE handle = io->CreateFileA("\\\\.\\Scsi0:", 0, 0, nullptr, 0, 0, 0);
    EXPECT_NE(handle, platform::INVALID_HANDLE_VALUE);
    Bytes buffer = IdentifyRequest();
    const Bytes before = buffer;
    DWORD returned = 0;
    const platform::BOOL result = io->DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, buffer.data(),
                                                      544, buffer.data(), 544, &returned, nullptr);
    error = platform::GetLastError();
    untouched = buffer == before;
    // Once a connection has failed, every later call on the handle fails too.
    if (!result && error != platform::ERROR_BAD_LENGTH) {
      secondError = io->DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, buffer.data(), 544,
                                        buffer.data(), 544, &returned, nullptr)
                        ? 0
                        : platform::GetLastError();
    }
    io->CloseHandle(handle);
    return result;
  }
  std::string Path() const { return temp.Path() + "/Scsi0:"; }

  TempDir temp;
  DWORD error = 0;
  DWORD secondError = 0;
  bool untouched = false;
};

TEST_F(SocketDeviceIoTest, ReplyOfTheWrongLengthFailsWithBadLength) {
  RawServer server(Path(), [](int fd) {
    ReadRequest(fd);
    Reply(fd, 0, 10, 10);
  });
  EXPECT_EQ(CallOnce(), platform::FALSE);
  EXPECT_EQ(error, platform::ERROR_BAD_LENGTH);
  EXPECT_TRUE(untouched);
}

TEST_F(SocketDeviceIoTest, AbsurdReplyLengthFailsWithoutReadingIt) {
  RawServer server(Path(), [](int fd) {
    ReadRequest(fd);
    Reply(fd, 0, 0xFFFFFFF0u, 0);
  });
  EXPECT_EQ(CallOnce(), platform::FALSE);
  EXPECT_EQ(error, platform::ERROR_BAD_LENGTH);
  EXPECT_TRUE(untouched);
}

TEST_F(SocketDeviceIoTest, ConnectionClosedInsteadOfAReply) {
  RawServer server(Path(), [](int fd) { ReadRequest(fd); });
  EXPECT_EQ(CallOnce(), platform::FALSE);
  EXPECT_EQ(error, 1167u);
  EXPECT_EQ(secondError, 1167u);
  EXPECT_TRUE(untouched);
}

TEST_F(SocketDeviceIoTest, ConnectionClosedHalfWayThroughTheReply) {
  RawServer server(Path(), [](int fd) {
    ReadRequest(fd);
    Reply(fd, 0, 544, 100);
  });
  EXPECT_EQ(CallOnce(), platform::FALSE);
  EXPECT_EQ(error, 1167u);
  EXPECT_TRUE(untouched);
}

TEST_F(SocketDeviceIoTest, DeviceThatNeverAnswersFailsAfterTheWait) {
  int release[2];
  ASSERT_EQ(::pipe(release), 0);
  RawServer server(Path(), [&](int fd) {
    ReadRequest(fd);
    char byte;
    [[maybe_unused]] auto n = ::read(release[0], &byte, 1);
  });
  EXPECT_EQ(CallOnce(std::chrono::milliseconds(100)), platform::FALSE);
  EXPECT_EQ(error, platform::ERROR_GEN_FAILURE);
  EXPECT_EQ(secondError, 1167u);
  [[maybe_unused]] auto n = ::write(release[1], "x", 1);
  server.Join();
  ::close(release[0]);
  ::close(release[1]);
}

TEST_F(SocketDeviceIoTest, SendingToAClosedPeerDoesNotKillTheProcess) {
  RawServer server(Path(), [](int) {});
  auto io = platform::MakeSocketDeviceIo(temp.Path());
  const HANDLE handle = io->CreateFileA("\\\\.\\Scsi0:", 0, 0, nullptr, 0, 0, 0);
  ASSERT_NE(handle, platform::INVALID_HANDLE_VALUE);
  server.Join();  // the peer has closed its end
  Bytes big(200000, 0);
  DWORD returned = 0;
  EXPECT_EQ(io->DeviceIoControl(handle, 1, big.data(), static_cast<DWORD>(big.size()), big.data(),
                                static_cast<DWORD>(big.size()), &returned, nullptr),
            platform::FALSE);
  EXPECT_EQ(platform::GetLastError(), 1167u);
  io->CloseHandle(handle);
}

TEST_F(SocketDeviceIoTest, ErrorReplyLeavesTheBufferAlone) {
  RawServer server(Path(), [](int fd) {
    ReadRequest(fd);
    Reply(fd, 5, 0, 0);
  });
  EXPECT_EQ(CallOnce(), platform::FALSE);
  EXPECT_EQ(error, 5u);
  EXPECT_TRUE(untouched);
}

TEST(DefaultDeviceDirectoryTest, FollowsTheEnvironment) {
  const char* savedDevice = std::getenv("KIVO_DEVICE_DIR");
  const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
  const std::string device = savedDevice ? savedDevice : "";
  const std::string runtime = savedRuntime ? savedRuntime : "";
  ::setenv("KIVO_DEVICE_DIR", "/x/devices", 1);
  EXPECT_EQ(platform::DefaultDeviceDirectory(), "/x/devices");
  ::unsetenv("KIVO_DEVICE_DIR");
  ::setenv("XDG_RUNTIME_DIR", "/run/user/7", 1);
  EXPECT_EQ(platform::DefaultDeviceDirectory(), "/run/user/7/zelka");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(platform::DefaultDeviceDirectory(), "/tmp/zelka-" + std::to_string(::getuid()));
  if (savedDevice) ::setenv("KIVO_DEVICE_DIR", device.c_str(), 1);
  if (savedRuntime) ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

}  // namespace
}  // namespace kivo::emulator
