// Inventory scan speed over the socket emulator (device server thread in this
// process): a full scan of a maximal machine (12 controllers, 16 units each,
// 64 display rows each), the device requests it makes, one request's round
// trip, and the ratio of the scan time to requests x round trip.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/MaximalWorld.h"
#include "controller/ControllerInfo.h"
#include "emulator/DeviceServer.h"
#include "emulator/World.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "report/InventoryScan.h"
#include "report/ReportDoubles.h"
#include "report/ReportText.h"

namespace {

using namespace kivo;

struct Machine {
  Machine() {
    char pattern[] = "/tmp/kivo-scanbench-XXXXXX";
    directory = ::mkdtemp(pattern);
    {
      std::lock_guard lock(world.mutex);
      BuildMaximal(world);
    }
    server = std::make_unique<emulator::DeviceServer>(world, directory + "/dev");
    std::string error;
    if (!server->Start(&error)) {
      std::fprintf(stderr, "ScanBench: %s\n", error.c_str());
      std::abort();
    }
    device = platform::MakeSocketDeviceIo(directory + "/dev");
    context.clock = &clock;
    context.host = &host;
    context.registry = &registry;
    context.device = device.get();
    context.messageBoxes = &boxes;
    context.launcher = &launcher;
    records = std::make_unique<ControllerRecords>(context);
  }
  ~Machine() {
    records.reset();
    device.reset();
    server.reset();
    std::filesystem::remove_all(directory);
  }
  std::uint64_t DeviceCalls() {
    std::lock_guard lock(world.mutex);
    return world.deviceCalls;
  }

  std::string directory;
  emulator::World world;
  std::unique_ptr<emulator::DeviceServer> server;
  std::unique_ptr<platform::DeviceIo> device;
  platform::SystemClock clock;
  test::FakeHostFacts host;
  test::MemoryRegistry registry;
  test::RecordingMessageBoxes boxes;
  test::RecordingLauncher launcher;
  platform::PlatformContext context;
  std::unique_ptr<ControllerRecords> records;
};

Machine& TheMachine() {
  static Machine machine;
  return machine;
}

void BM_RequestRoundTrip(benchmark::State& state) {
  Machine& machine = TheMachine();
  ControllerInfo controller(machine.context);
  if (controller.Open(0) != 0) std::abort();
  std::array<char, 16> text{};
  for (auto _ : state) benchmark::DoNotOptimize(controller.GetParameter(0x402, 3, 16, text.data()));
  controller.Close();
}
BENCHMARK(BM_RequestRoundTrip)->Unit(benchmark::kMicrosecond);

// The controller list: twelve ports opened, identified, queried and closed.
void BM_Initialise(benchmark::State& state) {
  Machine& machine = TheMachine();
  ControllerSet list(machine.context);
  std::uint64_t calls = machine.DeviceCalls();
  std::uint64_t rounds = 0;
  for (auto _ : state) {
    list.Initialise();
    ++rounds;
  }
  state.counters["requests"] =
      static_cast<double>(machine.DeviceCalls() - calls) / static_cast<double>(rounds == 0 ? 1 : rounds);
}
BENCHMARK(BM_Initialise)->Unit(benchmark::kMillisecond);

// Each scan is followed by a burst of single requests on an open controller,
// so that the round trip is measured under the same load as the scan.
void BM_FullScan(benchmark::State& state) {
  Machine& machine = TheMachine();
  ScanControllers(1, *machine.records);
  if ((*machine.records)[11].rowCount != kDisplayRows) {
    state.SkipWithError("the maximal world does not fill 64 rows");
    return;
  }
  // The probe keeps one connection open, as a request inside a scan has.
  ControllerInfo probe(machine.context);
  if (probe.Open(0) != 0) std::abort();
  std::array<char, 16> text{};
  constexpr int kProbes = 300;
  double scanSeconds = 0;
  double expectedSeconds = 0;
  double requests = 0;
  double roundTrips = 0;
  std::uint64_t scans = 0;
  for (auto _ : state) {
    std::uint64_t before = machine.DeviceCalls();
    auto start = std::chrono::steady_clock::now();
    ScanControllers(0, *machine.records);
    double scan = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto made = static_cast<double>(machine.DeviceCalls() - before);

    state.PauseTiming();
    auto probeStart = std::chrono::steady_clock::now();
    for (int i = 0; i < kProbes; ++i) probe.GetParameter(0x402, 3, 16, text.data());
    double roundTrip =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - probeStart).count() / kProbes;
    state.ResumeTiming();

    scanSeconds += scan;
    expectedSeconds += made * roundTrip;
    requests += made;
    roundTrips += roundTrip;
    ++scans;
  }
  probe.Close();
  auto count = static_cast<double>(scans);
  state.counters["requests_per_scan"] = requests / count;
  state.counters["round_trip_us"] = roundTrips / count * 1e6;
  state.counters["scan_ms"] = scanSeconds / count * 1e3;
  state.counters["ratio"] = scanSeconds / expectedSeconds;
  state.counters["report_bytes"] = static_cast<double>(ReportText().Length());
}
BENCHMARK(BM_FullScan)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
