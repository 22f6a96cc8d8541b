// Device channel speed: one identify round trip, and Initialise over twelve
// ports with twelve controllers, over the socket emulator (server thread in
// this process) and in-process for comparison.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "controller/ControllerSet.h"
#include "emulator/DeviceServer.h"
#include "emulator/InProcessDeviceIo.h"
#include "emulator/World.h"
#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/HostFacts.h"
#include "platform/posix/SocketDeviceIo.h"

namespace {

using namespace kivo;

class LinuxHost : public platform::HostFacts {
 public:
  platform::BOOL GetVersionExA(platform::OSVERSIONINFOA* info) override {
    info->dwPlatformId = platform::VER_PLATFORM_LINUX;
    return platform::TRUE;
  }
  platform::BOOL GetComputerNameA(char*, platform::DWORD*) override { return platform::FALSE; }
  std::string NativeDescription() override { return ""; }
};

// Twelve controllers on ports 0..11, each reporting its level at once.
void BuildTwelve(emulator::World& world) {
  emulator::BuildDefaultWorld(world);
  const emulator::Controller model = world.controllers[0];
  world.controllers.clear();
  for (int port = 0; port < 12; ++port) {
    emulator::Controller controller = model;
    controller.scsiId = port;
    world.controllers.push_back(controller);
  }
  world.recordRequests = false;
}

struct SocketSetup {
  SocketSetup() {
    char pattern[] = "/tmp/kivo-bench-XXXXXX";
    directory = ::mkdtemp(pattern);
    BuildTwelve(world);
    server = std::make_unique<emulator::DeviceServer>(world, directory + "/dev");
    std::string error;
    if (!server->Start(&error)) std::abort();
    io = platform::MakeSocketDeviceIo(directory + "/dev");
  }
  ~SocketSetup() {
    io.reset();
    server.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }
  std::string directory;
  emulator::World world;
  std::unique_ptr<emulator::DeviceServer> server;
  std::unique_ptr<platform::DeviceIo> io;
};

std::array<std::uint8_t, kRequestSize> Identify() {
  std::array<std::uint8_t, kRequestSize> request{};
  request::PutU32(request.data(), 28);
  std::memcpy(request.data() + 4, request::kSignature.data(), 8);
  request::PutU32(request.data() + 24, kRequestSize - 28);
  request[request::kPacketOffset] = request::kOpcodeIdentify;
  return request;
}

void IdentifyRoundTrip(benchmark::State& state, platform::DeviceIo& io) {
  const platform::HANDLE handle = io.CreateFileA("\\\\.\\Scsi0:", 0, 0, nullptr, 0, 0, 0);
  if (handle == platform::INVALID_HANDLE_VALUE) {
    state.SkipWithError("device does not open");
    return;
  }
  auto request = Identify();
  for (auto _ : state) {
    platform::DWORD returned = 0;
    if (!io.DeviceIoControl(handle, platform::IOCTL_SCSI_MINIPORT, request.data(), kRequestSize,
                            request.data(), kRequestSize, &returned, nullptr)) {
      state.SkipWithError("identify failed");
      break;
    }
    benchmark::DoNotOptimize(request);
  }
  io.CloseHandle(handle);
}

void InitialiseTwelve(benchmark::State& state, platform::DeviceIo& io, emulator::World& world) {
  platform::SystemClock clock;  // no sleep may happen: every controller answers at once
  LinuxHost host;
  platform::PlatformContext context;
  context.clock = &clock;
  context.host = &host;
  context.device = &io;
  ControllerSet set(context);
  std::uint64_t before = 0;
  {
    std::lock_guard lock(world.mutex);
    before = world.deviceCalls;
  }
  for (auto _ : state) {
    set.Initialise();
    if (set.ControllerCount() != 12) {
      state.SkipWithError("expected twelve controllers");
      break;
    }
  }
  std::lock_guard lock(world.mutex);
  state.counters["requests"] =
      benchmark::Counter(static_cast<double>(world.deviceCalls - before) /
                         static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1)));
}

void BM_IdentifyRoundTripSocket(benchmark::State& state) {
  SocketSetup setup;
  IdentifyRoundTrip(state, *setup.io);
}
BENCHMARK(BM_IdentifyRoundTripSocket)->Unit(benchmark::kMicrosecond);

void BM_IdentifyRoundTripInProcess(benchmark::State& state) {
  emulator::World world;
  BuildTwelve(world);
  emulator::InProcessDeviceIo io(world);
  IdentifyRoundTrip(state, io);
}
BENCHMARK(BM_IdentifyRoundTripInProcess)->Unit(benchmark::kMicrosecond);

void BM_OpenCloseSocket(benchmark::State& state) {
  SocketSetup setup;
  for (auto _ : state) {
    const platform::HANDLE handle = setup.io->CreateFileA("\\\\.\\Scsi0:", 0, 0, nullptr, 0, 0, 0);
    if (handle == platform::INVALID_HANDLE_VALUE) {
      state.SkipWithError("device does not open");
      break;
    }
    setup.io->CloseHandle(handle);
  }
}
BENCHMARK(BM_OpenCloseSocket)->Unit(benchmark::kMicrosecond);

void BM_InitialiseTwelvePortsSocket(benchmark::State& state) {
  SocketSetup setup;
  InitialiseTwelve(state, *setup.io, setup.world);
}
BENCHMARK(BM_InitialiseTwelvePortsSocket)->Unit(benchmark::kMicrosecond);

void BM_InitialiseTwelvePortsInProcess(benchmark::State& state) {
  emulator::World world;
  BuildTwelve(world);
  emulator::InProcessDeviceIo io(world);
  InitialiseTwelve(state, io, world);
}
BENCHMARK(BM_InitialiseTwelvePortsInProcess)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
