// The cost of one notification fetch (connect, bind, request, response,
// release) against the emulated service, beside a bare Unix-socket
// request/reply on a fresh connection and on a kept one, in the same run.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "emulator/WorldEvents.h"
#include "emulator/posix/ServiceServer.h"
#include "monitor/ServiceLink.h"

namespace {

using namespace kivo;

std::string TempDir() {
  char pattern[] = "/tmp/kivo-bench-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "/tmp";
}

void BM_FetchNotification(benchmark::State& state) {
  std::string dir = TempDir();
  emulator::World world;
  emulator::BuildDefaultWorld(world);
  emulator::ServiceServer service(world, dir);
  std::string error;
  if (!service.Start(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  ServiceLink link(dir);
  std::uint16_t word = 0;
  for (auto _ : state) {
    if (link.FetchNotification(0, &word) != 0) {
      state.SkipWithError("fetch failed");
      break;
    }
    benchmark::DoNotOptimize(word);
  }
  service.Stop();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FetchNotification)->UseRealTime();

// A server that answers every 2-byte request with 2 bytes, until stopped.
class EchoServer {
 public:
  explicit EchoServer(const std::string& path) : path_(path) {
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listenFd_, 64);
    thread_ = std::thread([this] { Run(); });
  }
  ~EchoServer() {
    stop_ = true;
    shutdown(listenFd_, SHUT_RDWR);
    thread_.join();
    close(listenFd_);
    unlink(path_.c_str());
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{listenFd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      int fd = accept(listenFd_, nullptr, nullptr);
      if (fd < 0) continue;
      char buffer[2];
      while (recv(fd, buffer, 2, MSG_WAITALL) == 2) {
        if (send(fd, buffer, 2, MSG_NOSIGNAL) != 2) break;
      }
      close(fd);
    }
  }

  std::string path_;
  int listenFd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

int Connect(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool RoundTrip(int fd) {
  char request[2] = {0, 0};
  char reply[2];
  return send(fd, request, 2, MSG_NOSIGNAL) == 2 && recv(fd, reply, 2, MSG_WAITALL) == 2;
}

void BM_BareSocketFreshConnection(benchmark::State& state) {
  std::string dir = TempDir();
  std::string path = dir + "/echo";
  EchoServer server(path);
  for (auto _ : state) {
    int fd = Connect(path);
    if (fd < 0 || !RoundTrip(fd)) {
      state.SkipWithError("round trip failed");
      if (fd >= 0) close(fd);
      break;
    }
    close(fd);
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BareSocketFreshConnection)->UseRealTime();

void BM_BareSocketKeptConnection(benchmark::State& state) {
  std::string dir = TempDir();
  std::string path = dir + "/echo";
  EchoServer server(path);
  int fd = Connect(path);
  for (auto _ : state) {
    if (fd < 0 || !RoundTrip(fd)) {
      state.SkipWithError("round trip failed");
      break;
    }
  }
  if (fd >= 0) close(fd);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BareSocketKeptConnection)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
