// ControlServer on Windows: the emulator's control pipe PREFIX +
// "zelka-control", where `zelka-emulator ctl` sends one command per
// connection (the text protocol of the Linux control socket). Also the client
// half that ctl runs (RunControlClient).
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "emulator/World.h"
#include "emulator/win32/PipeServer.h"

namespace kivo::emulator {

class ServiceServer;

class ControlServer {
 public:
  ControlServer(World& world, ServiceServer* service);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Serves PREFIX + "zelka-control"; false with the reason in *error.
  bool Start(const std::string& pipePrefix, std::string* error);
  void Stop();

 private:
  void Serve(PipeConnection& connection);

  World& world_;
  ServiceServer* service_;
  std::unique_ptr<PipeServer> pipe_;
};

// `zelka-emulator ctl [--pipe PREFIX] COMMAND ...` with the arguments after
// "ctl". Prints the answer; returns 0 when the command was carried out, 1 when
// the emulator refused it, 2 for bad usage or no emulator to talk to.
int RunControlClient(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace kivo::emulator
