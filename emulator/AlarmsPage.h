// AlarmsPage: the web interface's alarms page, "/alarms.html" over HTTP on the
// loopback host, served on a thread of its own (one request per connection,
// bounded head size and wait). The page and the answer are AlarmsText's.
#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "emulator/AlarmsText.h"
#include "emulator/World.h"

namespace kivo::emulator {

class AlarmsPage {
 public:
  explicit AlarmsPage(World& world) : world_(world) {}
  ~AlarmsPage() { Stop(); }
  AlarmsPage(const AlarmsPage&) = delete;
  AlarmsPage& operator=(const AlarmsPage&) = delete;

  // Listens on 127.0.0.1:port (0: any free port) and serves on a thread of
  // its own. False with the reason when the port cannot be bound.
  bool Start(std::uint16_t port, std::string* error);
  // Closes the listener, which ends the serving thread.
  void Stop();
  std::uint16_t Port() const { return port_; }

 private:
  void Serve();

  World& world_;
#ifdef _WIN32
  std::uintptr_t listener_ = ~std::uintptr_t{0};  // a SOCKET
#else
  int listener_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
#endif
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace kivo::emulator
