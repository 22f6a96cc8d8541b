// ControlServer: the emulator's control socket <RPC directory>/zelka-control,
// where `zelka-emulator ctl` sends one command per connection. Also the
// client half that ctl runs (RunControlClient).
//
// Wire format, text: the client sends the command's words separated by
// single blanks and ended by a newline (at most 4096 bytes); the server
// answers "ok\n" or "error\n" followed by the text to print, and closes.
#pragma once

#include <atomic>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "emulator/World.h"

namespace kivo::emulator {

class ServiceServer;

class ControlServer {
 public:
  ControlServer(World& world, ServiceServer* service);
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens on <rpcDirectory>/zelka-control (the directory is made with mode
  // 0700); false with the reason in *error.
  bool Start(const std::string& rpcDirectory, std::string* error);
  // Stops listening and removes the socket.
  void Stop();

 private:
  void AcceptLoop();
  void Serve(int fd);

  World& world_;
  ServiceServer* service_;
  std::string path_;
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  std::thread thread_;
};

// `zelka-emulator ctl [--rpc-dir DIR] COMMAND ...` with the arguments after
// "ctl". Prints the answer; returns 0 when the command was carried out, 1 when
// the emulator refused it, 2 for bad usage or no emulator to talk to.
int RunControlClient(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace kivo::emulator
