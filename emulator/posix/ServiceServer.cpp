// The emulated background service on the local RPC endpoint "KIVO".
#include "emulator/posix/ServiceServer.h"

#include "emulator/WorldEvents.h"
#include "platform/ServiceRpc.h"
#include "platform/posix/RpcSocket.h"

namespace kivo::emulator {

ServiceServer::ServiceServer(World& world, std::string rpcDirectory)
    : world_(world), rpcDirectory_(std::move(rpcDirectory)) {}

ServiceServer::~ServiceServer() {
  Stop();
}

void ServiceServer::SetShutdownHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  shutdownHandler_ = std::move(handler);
}

void ServiceServer::SetDataRepresentation(const platform::DataRep& drep) {
  std::lock_guard<std::mutex> lock(mutex_);
  drep_ = drep;
}

std::string ServiceServer::EndpointPath() const {
  return platform::RpcEndpointPath(rpcDirectory_, platform::kServiceEndpoint);
}

bool ServiceServer::Start(std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (server_) return true;
  auto server = std::make_unique<platform::RpcServer>(
      platform::ServiceInterface(),
      [this](std::uint16_t opnum, std::span<const std::uint8_t> stub, const platform::DataRep& callerRep,
             const platform::DataRep& replyRep) { return Answer(opnum, stub, callerRep, replyRep); });
  server->SetDataRepresentation(drep_);
  if (!server->Listen(EndpointPath(), error)) return false;
  server_ = std::move(server);
  return true;
}

void ServiceServer::Stop() {
  std::unique_ptr<platform::RpcServer> server;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    server = std::move(server_);
  }
  // Stopped outside the lock: a handler running meanwhile may take it.
  if (server) server->Stop();
}

bool ServiceServer::Running() {
  std::lock_guard<std::mutex> lock(mutex_);
  return server_ != nullptr;
}

platform::RpcCallResult ServiceServer::Answer(std::uint16_t opnum, std::span<const std::uint8_t> stub,
                                              const platform::DataRep& callerRep,
                                              const platform::DataRep& replyRep) {
  platform::RpcCallResult result;
  if (opnum == platform::kFetchNotificationOpnum) {
    std::uint16_t id = 0;
    if (!platform::DecodeNdrShort(stub, callerRep, &id)) {
      result.faultStatus = platform::kNcaProtocolError;
      return result;
    }
    std::uint16_t word = 0;
    {
      std::lock_guard<std::mutex> lock(world_.mutex);
      // The id is a signed short on the wire; no controller has a negative one.
      word = NextNotification(world_, static_cast<std::int16_t>(id));
      ++world_.serviceCalls;
    }
    result.stub = platform::EncodeNdrShort(word, replyRep);
    return result;
  }
  {
    std::lock_guard<std::mutex> lock(world_.mutex);
    ++world_.serviceCalls;
  }
  if (opnum == platform::kShutdownServiceOpnum) {
    std::function<void()> handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      handler = shutdownHandler_;
    }
    if (handler) handler();
    return result;
  }
  result.faultStatus = platform::kNcaOpRangeError;
  return result;
}

}  // namespace kivo::emulator
