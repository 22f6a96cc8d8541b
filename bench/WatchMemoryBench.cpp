// kivo-watch's memory under a flapping cable: resident memory after 100
// event lines and after 10,000, measured on the real program against the
// emulator. The events are degraded-unit notifications (AEN 2, the longest
// line, about 1.2 KB), raised with `ctl aen-series` on both controllers of
// the default world, each one every 5 ms; the monitor's waits are scaled
// (KIVO_TIME_SCALE=1000). On a loaded machine a pass may come late enough
// for the emulator's queue to overflow: some more are raised than needed, and
// a "Queue is full." line counts as a line. Takes about 30 s.
// Target: RSS after 10,000 lines within 200 KB of RSS after 100.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/monitor/ChildProcess.h"

namespace {

namespace fs = std::filesystem;
using kivo::test::ChildProcess;

std::string BinaryDir() {
  if (const char* dir = std::getenv("KIVO_BINARY_DIR")) return dir;
  return fs::read_symlink("/proc/self/exe").parent_path().parent_path().string();
}

std::uint64_t ResidentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6));
  }
  return 0;
}

// Counts the event lines kivo-watch has written to its output file so far
// (a degraded unit's help paragraphs follow its line), reading only what was
// added since the last call.
class LineCounter {
 public:
  explicit LineCounter(std::string path) : path_(std::move(path)) {}
  std::uint64_t Count() {
    std::ifstream file(path_, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset_));
    std::string chunk((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    offset_ += chunk.size();
    partial_ += chunk;
    std::size_t start = 0;
    for (std::size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n', start)) {
      const std::string_view line(partial_.data() + start, end - start);
      if (line.find(" MESSAGE: ") != std::string_view::npos) ++lines_;
      if (line.find(" MESSAGE: Queue is full.") != std::string_view::npos) ++queueFull_;
      start = end + 1;
    }
    partial_.erase(0, start);
    return lines_;
  }
  std::uint64_t QueueFull() const { return queueFull_; }

 private:
  std::string path_;
  std::uint64_t offset_ = 0;
  std::uint64_t lines_ = 0;
  std::uint64_t queueFull_ = 0;
  std::string partial_;  // a line not yet ended
};

// Waits (bounded by a minute) until `count` lines are written.
bool WaitForLines(LineCounter& counter, std::uint64_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (counter.Count() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void WatchMemory(benchmark::State& state) {
  char pattern[] = "/tmp/kivo-watch-memory.XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string root = pattern;
  const std::string rpcDir = root + "/rpc";
  const std::vector<std::string> env = {"KIVO_DEVICE_DIR=" + root + "/dev", "KIVO_RPC_DIR=" + rpcDir,
                                        "KIVO_REGISTRY_DIR=" + root + "/reg", "KIVO_TIME_SCALE=1000"};
  const std::string emulatorPath = BinaryDir() + "/emulator/zelka-emulator";
  auto control = [&](const std::vector<std::string>& words) {
    std::vector<std::string> argv = {emulatorPath, "ctl", "--rpc-dir", rpcDir};
    argv.insert(argv.end(), words.begin(), words.end());
    ChildProcess ctl;
    return ctl.Start(argv, env) && ctl.WaitExit() == 0;
  };
  ChildProcess emulator;
  ChildProcess watch;
  const std::string out = root + "/out.txt";
  if (!emulator.Start({emulatorPath, "--device-dir", root + "/dev", "--rpc-dir", rpcDir, "--http-port", "0"},
                      env) ||
      !emulator.WaitForErr("ready") ||
      !watch.Start({"/bin/sh", "-c", "exec " + BinaryDir() + "/src/app/cli/kivo-watch >" + out}, env) ||
      !watch.WaitForErr("monitoring")) {
    state.SkipWithError("could not start the emulator and kivo-watch");
    return;
  }
  LineCounter lines(out);
  for (auto _ : state) {
    // 100 events, then some 9,900 more.
    if (!control({"aen-series", "0", "2", "50"}) || !control({"aen-series", "1", "2", "50"}) ||
        !WaitForLines(lines, 100)) {
      state.SkipWithError("the first 100 events were not shown");
      break;
    }
    const std::uint64_t after100 = ResidentKilobytes(watch.Pid());
    if (!control({"aen-series", "0", "2", "5200", "5"}) || !control({"aen-series", "1", "2", "5200", "5"}) ||
        !WaitForLines(lines, 10000)) {
      state.SkipWithError(("the 10,000 events were not shown: " + std::to_string(lines.Count())).c_str());
      break;
    }
    const std::uint64_t after10000 = ResidentKilobytes(watch.Pid());
    state.counters["rss_after_100_kB"] = static_cast<double>(after100);
    state.counters["rss_after_10000_kB"] = static_cast<double>(after10000);
    state.counters["growth_kB"] = static_cast<double>(after10000) - static_cast<double>(after100);
    state.counters["lines"] = static_cast<double>(lines.Count());
    state.counters["queue_full_lines"] = static_cast<double>(lines.QueueFull());
  }
  watch.Signal(SIGTERM);
  emulator.Signal(SIGTERM);
  std::error_code ignored;
  fs::remove_all(root, ignored);
}
BENCHMARK(WatchMemory)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
