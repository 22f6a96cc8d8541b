// AlarmsPage: the web interface's alarms page, "/alarms.html" over HTTP on the
// loopback host: every controller's queued notifications (the events the
// utility has not fetched yet) and the units that are not healthy. Used by
// zelka-emulator; RenderAlarmsPage and AnswerHttpRequest are pure for tests.
#pragma once

#include <atomic>
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
  void Stop();
  std::uint16_t Port() const { return port_; }

 private:
  void Serve();
  void AnswerOne(int client);

  World& world_;
  int listener_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace kivo::emulator
