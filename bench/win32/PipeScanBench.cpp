// The full scan of the maximal machine over named pipes under Windows (or
// Wine): the emulator's device side in this process, the scan through the
// Win32 device seam. Prints the scan time, the requests it made, one
// request's round trip on an open pipe, and the ratio of the scan time to
// requests x round trip (the Linux figure comes from ScanBench).
#include <process.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "bench/MaximalWorld.h"
#include "controller/ControllerInfo.h"
#include "emulator/DeviceServer.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "report/InventoryScan.h"
#include "report/ReportDoubles.h"

int main() {
  using namespace kivo;
  using Clock = std::chrono::steady_clock;
  emulator::World world;
  {
    std::lock_guard lock(world.mutex);
    BuildMaximal(world);
  }
  const std::string prefix = "\\\\.\\pipe\\kivo-bench-" + std::to_string(_getpid()) + "\\";
  emulator::DeviceServer server(world, prefix);
  std::string error;
  if (!server.Start(&error)) {
    std::fprintf(stderr, "PipeScanBench: %s\n", error.c_str());
    return 1;
  }
  std::unique_ptr<platform::DeviceIo> device = platform::MakeSocketDeviceIo(prefix);
  platform::SystemClock clock;
  test::FakeHostFacts host;
  test::MemoryRegistry registry;
  test::RecordingMessageBoxes boxes;
  test::RecordingLauncher launcher;
  platform::PlatformContext context;
  context.clock = &clock;
  context.host = &host;
  context.registry = &registry;
  context.device = device.get();
  context.messageBoxes = &boxes;
  context.launcher = &launcher;
  auto records = std::make_unique<ControllerRecords>(context);
  ScanControllers(1, *records);  // warm-up
  if ((*records)[11].rowCount != kDisplayRows) {
    std::fprintf(stderr, "PipeScanBench: the maximal world does not fill 64 rows\n");
    return 1;
  }

  ControllerInfo probe(context);
  if (probe.Open(0) != 0) return 1;
  std::array<char, 16> text{};
  constexpr int kScans = 5;
  constexpr int kProbes = 300;
  double scanSeconds = 0;
  double expectedSeconds = 0;
  double requests = 0;
  double roundTrips = 0;
  for (int i = 0; i < kScans; ++i) {
    std::uint64_t before = 0;
    {
      std::lock_guard lock(world.mutex);
      before = world.deviceCalls;
    }
    auto start = Clock::now();
    ScanControllers(0, *records);
    const double scan = std::chrono::duration<double>(Clock::now() - start).count();
    double made = 0;
    {
      std::lock_guard lock(world.mutex);
      made = static_cast<double>(world.deviceCalls - before);
    }
    auto probeStart = Clock::now();
    for (int p = 0; p < kProbes; ++p) probe.GetParameter(0x402, 3, 16, text.data());
    const double roundTrip = std::chrono::duration<double>(Clock::now() - probeStart).count() / kProbes;
    scanSeconds += scan;
    expectedSeconds += made * roundTrip;
    requests += made;
    roundTrips += roundTrip;
  }
  probe.Close();
  std::printf("requests_per_scan=%.0f round_trip_us=%.1f scan_ms=%.1f ratio=%.2f\n", requests / kScans,
              roundTrips / kScans * 1e6, scanSeconds / kScans * 1e3, scanSeconds / expectedSeconds);
  return 0;
}
