// ServiceServer: the emulator's stand-in for the background service. It
// serves the notification interface on the endpoint "KIVO" of the RPC
// directory: procedure 0 hands out the next notification word of a
// controller, procedure 1 asks the emulator to shut down. Can be stopped and
// started again (the control command does, to exercise monitoring failures).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "emulator/ControlCommand.h"
#include "emulator/World.h"
#include "platform/RpcPdu.h"
#include "platform/posix/RpcServer.h"

namespace kivo::emulator {

class ServiceServer : public ServiceSwitch {
 public:
  ServiceServer(World& world, std::string rpcDirectory);
  ~ServiceServer() override;
  ServiceServer(const ServiceServer&) = delete;
  ServiceServer& operator=(const ServiceServer&) = delete;

  // Called on a server thread once procedure 1 has been received; it must only
  // signal (the answer goes out after it returns, and Stop must not be called
  // from it).
  void SetShutdownHandler(std::function<void()> handler);
  // The representation answers are written in (tests answer big-endian).
  void SetDataRepresentation(const platform::DataRep& drep);

  // Listens on <rpc directory>/KIVO; false with the reason in *error. Starting
  // a running server does nothing.
  bool Start(std::string* error) override;
  // Stops listening and removes the endpoint; stopping a stopped one does nothing.
  void Stop() override;
  bool Running() override;

  std::string EndpointPath() const;

 private:
  platform::RpcCallResult Answer(std::uint16_t opnum, std::span<const std::uint8_t> stub,
                                 const platform::DataRep& callerRep, const platform::DataRep& replyRep);

  World& world_;
  std::string rpcDirectory_;
  std::mutex mutex_;  // guards server_, drep_ and shutdownHandler_
  std::unique_ptr<platform::RpcServer> server_;
  platform::DataRep drep_ = platform::kLocalDataRep;
  std::function<void()> shutdownHandler_;
};

}  // namespace kivo::emulator
