// The idle cost of kivo-watch: resident memory and processor time between
// passes, measured on the real program against the emulator. The monitor's
// waits are scaled (KIVO_TIME_SCALE=100: a pass every 180 ms) so that many
// passes fit in a few seconds; the cost per pass is then scaled back to the
// real 18 s cycle.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/monitor/ChildProcess.h"

namespace {

namespace fs = std::filesystem;
using kivo::test::ChildProcess;

constexpr int kTimeScale = 100;
constexpr int kControllers = 2;  // the emulator's default world
constexpr auto kWindow = std::chrono::seconds(6);

std::string BinaryDir() {
  if (const char* dir = std::getenv("KIVO_BINARY_DIR")) return dir;
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path().string();
}

// Run time of every thread of the process, in nanoseconds.
std::uint64_t CpuNanoseconds(pid_t pid) {
  std::uint64_t total = 0;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    std::ifstream stat(task.path() / "schedstat");
    std::uint64_t ns = 0;
    if (stat >> ns) total += ns;
  }
  return total;
}

std::uint64_t ResidentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6));
  }
  return 0;
}

// The service side's count of answered RPC calls: "zelka-emulator ctl calls"
// prints "rpc calls: N".
std::uint64_t ServiceCalls(const std::string& rpcDir, const std::vector<std::string>& env) {
  ChildProcess ctl;
  ctl.Start({BinaryDir() + "/emulator/zelka-emulator", "ctl", "--rpc-dir", rpcDir, "calls"}, env);
  ctl.WaitExit();
  const std::string& text = ctl.Out();
  auto at = text.find("rpc calls: ");
  if (at == std::string::npos) return 0;
  return std::stoull(text.substr(at + 11));
}

void WatchIdle(benchmark::State& state) {
  char pattern[] = "/tmp/kivo-watch-bench.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string root = pattern;
  const std::string rpcDir = root + "/rpc";
  const std::vector<std::string> env = {"KIVO_DEVICE_DIR=" + root + "/dev", "KIVO_RPC_DIR=" + rpcDir,
                                        "KIVO_REGISTRY_DIR=" + root + "/reg",
                                        "KIVO_TIME_SCALE=" + std::to_string(kTimeScale)};
  ChildProcess emulator;
  ChildProcess watch;
  if (!emulator.Start(
          {BinaryDir() + "/emulator/zelka-emulator", "--device-dir", root + "/dev", "--rpc-dir", rpcDir},
          env) ||
      !emulator.WaitForErr("ready") || !watch.Start({BinaryDir() + "/src/app/cli/kivo-watch"}, env) ||
      !watch.WaitForErr("monitoring")) {
    state.SkipWithError("could not start the emulator and kivo-watch");
    return;
  }
  // Past the first 90 s wait (0.9 s scaled) and a few passes.
  std::this_thread::sleep_for(std::chrono::seconds(2));

  for (auto _ : state) {
    const std::uint64_t calls0 = ServiceCalls(rpcDir, env);
    const std::uint64_t cpu0 = CpuNanoseconds(watch.Pid());
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(kWindow);
    const std::uint64_t cpu1 = CpuNanoseconds(watch.Pid());
    const auto t1 = std::chrono::steady_clock::now();
    const std::uint64_t calls1 = ServiceCalls(rpcDir, env);
    const double passes = static_cast<double>(calls1 - calls0 - 1) / kControllers;  // less the first "calls"
    const double cpuPerPassUs = passes > 0 ? static_cast<double>(cpu1 - cpu0) / 1000.0 / passes : 0;
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    state.counters["passes"] = passes;
    state.counters["cpu_us_per_pass"] = cpuPerPassUs;
    // At the real cycle, one pass every 18 s: 200 passes an hour.
    state.counters["cpu_ms_per_hour_unscaled"] = cpuPerPassUs * 200 / 1000.0;
    state.counters["vm_rss_kB"] = static_cast<double>(ResidentKilobytes(watch.Pid()));
  }
  watch.Signal(SIGTERM);
  emulator.Signal(SIGTERM);
  std::error_code ignored;
  fs::remove_all(root, ignored);
}
BENCHMARK(WatchIdle)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
