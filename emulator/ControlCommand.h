// ControlCommand: the commands of `zelka-emulator ctl`, carried out on the
// running emulator's world and service (aen, aen-series, fail-drive,
// rebuild-start, rebuild-finish, service-stop, service-start, calls). Used by ControlServer
// and by tests in-process.
#pragma once

#include <string>
#include <vector>

#include "emulator/World.h"

namespace kivo::emulator {

// The service side as the control command sees it: stopped and started to
// exercise monitoring failures. Each platform's ServiceServer is one.
class ServiceSwitch {
 public:
  virtual ~ServiceSwitch() = default;
  // False with the reason in *error; starting a running service does nothing.
  virtual bool Start(std::string* error) = 0;
  virtual void Stop() = 0;
  virtual bool Running() = 0;
};

struct ControlReply {
  bool ok = false;
  std::string text;  // ends in a newline; what ctl prints (standard output or error)
};

// The name of the control socket in the RPC directory.
constexpr const char* kControlSocketName = "zelka-control";

// Carries out one command given as words ("aen", "0", "9", "1"). Takes
// world.mutex itself; `service` may be null (service commands then fail).
ControlReply RunControlCommand(World& world, ServiceSwitch* service, const std::vector<std::string>& words);

// The usage text of the ctl command.
std::string ControlUsage();

}  // namespace kivo::emulator
