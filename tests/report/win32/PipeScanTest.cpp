// The golden reports over named pipes: the emulator's device side serves each
// world on pipes, the scan reaches it through the Win32 device seam (the
// KIVO_DEVICE_PIPE stand-in), and the report is byte for byte the golden one.
#include <gtest/gtest.h>
#include <process.h>

#include <memory>
#include <string>

#include "emulator/DeviceServer.h"
#include "platform/DeviceIo.h"
#include "platform/LastError.h"
#include "report/Golden.h"
#include "report/ScanFixture.h"

namespace kivo::test {
namespace {

struct GoldenCase {
  const char* world;  // "" for the built-in world
  const char* golden;
};

constexpr GoldenCase kCases[] = {
    {"", "default.txt"},
    {"none.json", "none.txt"},
    {"two-controllers.json", "two-controllers.txt"},
    {"raid10.json", "raid10.txt"},
    {"port9.json", "port9.txt"},
};

class PipeScanTest : public ScanFixture {
 protected:
  std::string PipePrefix() const { return "\\\\.\\pipe\\kivo-test-" + std::to_string(_getpid()) + "\\"; }
};

TEST_F(PipeScanTest, GoldenReportsOverNamedPipes) {
  for (const GoldenCase& c : kCases) {
    SCOPED_TRACE(c.golden);
    ResetProcessState();
    if (c.world[0] == '\0') {
      DefaultWorld();
    } else {
      LoadWorld(c.world);
    }
    emulator::DeviceServer server(world, PipePrefix());
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    std::unique_ptr<platform::DeviceIo> pipes = platform::MakeSocketDeviceIo(PipePrefix());
    context.device = pipes.get();
    records = std::make_unique<ControllerRecords>(context);
    ExpectGolden(c.golden, Scan());
  }
}

TEST_F(PipeScanTest, DeviceErrorsComeFromTheSystemCalls) {
  LoadWorld("two-controllers.json");
  emulator::DeviceServer server(world, PipePrefix());
  ASSERT_TRUE(server.Start(nullptr));
  std::unique_ptr<platform::DeviceIo> pipes = platform::MakeSocketDeviceIo(PipePrefix());

  // No pipe of that name: CreateFileA's own "file not found".
  EXPECT_EQ(pipes->CreateFileA("\\\\.\\Scsi0:", platform::GENERIC_READ | platform::GENERIC_WRITE, 0, nullptr,
                               platform::OPEN_EXISTING, 0, 0),
            platform::INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), 2u);

  // A device that goes away under an open handle: "device not connected".
  platform::HANDLE handle =
      pipes->CreateFileA("\\\\.\\Scsi1:", platform::GENERIC_READ | platform::GENERIC_WRITE, 0, nullptr,
                         platform::OPEN_EXISTING, 0, 0);
  ASSERT_NE(handle, platform::INVALID_HANDLE_VALUE);
  server.Stop();
  unsigned char buffer[16] = {};
  platform::DWORD returned = 0;
  EXPECT_FALSE(pipes->DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, buffer, sizeof buffer, buffer,
                                      sizeof buffer, &returned, nullptr));
  EXPECT_EQ(platform::GetLastError(), 1167u);
  EXPECT_TRUE(pipes->CloseHandle(handle));
}

}  // namespace
}  // namespace kivo::test
