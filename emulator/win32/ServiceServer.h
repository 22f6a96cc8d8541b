// ServiceServer on Windows: the emulator's stand-in for the background
// service as an rpcrt4 server of the project's IDL, on the ncalrpc endpoint
// "KIVO": procedure 0 hands out the next notification word of a controller,
// procedure 1 asks the emulator to shut down. One per process (the run time's
// interface registration is the process's).
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "emulator/ControlCommand.h"
#include "emulator/World.h"

namespace kivo::emulator {

class ServiceServer : public ServiceSwitch {
 public:
  explicit ServiceServer(World& world);
  ~ServiceServer() override;
  ServiceServer(const ServiceServer&) = delete;
  ServiceServer& operator=(const ServiceServer&) = delete;

  // Called on a run-time thread once procedure 1 has been received; it must
  // only signal (Stop must not be called from it).
  void SetShutdownHandler(std::function<void()> handler);

  // Registers the interface and listens on "KIVO"; false with the reason
  // (the run time's status) in *error.
  bool Start(std::string* error) override;
  // Stops listening and unregisters the interface (calls then fail).
  void Stop() override;
  bool Running() override;

  // The procedures, called by the server stub.
  short FetchNotification(short controllerId);
  void ShutdownService();

 private:
  World& world_;
  std::mutex mutex_;  // guards running_ and shutdownHandler_
  bool running_ = false;
  bool endpointMade_ = false;
  std::function<void()> shutdownHandler_;
};

}  // namespace kivo::emulator
