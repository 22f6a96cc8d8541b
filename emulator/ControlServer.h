// ControlServer: the emulator's control endpoint "zelka-control" (a socket in
// the RPC directory on Linux, a named pipe under the pipe prefix on Windows),
// where `zelka-emulator ctl` sends one command per connection in the text
// protocol of ControlProtocol.h. Also the client half that ctl runs.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/World.h"

namespace kivo::emulator {

class PipeConnection;
class PipeServer;
class ServiceServer;

class ControlServer {
 public:
  ControlServer(World& world, ServiceServer* service);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens on <endpoint>/zelka-control (Linux: the RPC directory, made with
  // mode 0700) or PREFIX + "zelka-control" (Windows: the pipe prefix); false
  // with the reason in *error.
  bool Start(const std::string& endpoint, std::string* error);
  // Stops listening (and removes the socket).
  void Stop();

 private:
#ifdef _WIN32
  void Serve(PipeConnection& connection);
#else
  void AcceptLoop();
  void Serve(int fd);
#endif

  World& world_;
  ServiceServer* service_;
#ifdef _WIN32
  std::unique_ptr<PipeServer> pipe_;
#else
  std::string path_;
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  std::thread thread_;
#endif
};

// `zelka-emulator ctl [--rpc-dir DIR | --pipe PREFIX] COMMAND ...` with the
// arguments after "ctl". Prints the answer; returns 0 when the command was
// carried out, 1 when the emulator refused it, 2 for bad usage or no emulator
// to talk to.
int RunControlClient(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace kivo::emulator
