// ServiceServer with rpcrt4: RpcServerUseProtseqEpA("ncalrpc", "KIVO"),
// RpcServerRegisterIf with the widl server stub, RpcServerListen without
// waiting. The stub calls the Serve* functions below, which forward to the
// one running ServiceServer.
#include "emulator/win32/ServiceServer.h"

#include <atomic>

#include "emulator/WorldEvents.h"
#include "platform/ServiceRpc.h"

#include <windows.h>

#include <rpc.h>

#include "KivoService.h"

namespace kivo::emulator {
namespace {

std::atomic<ServiceServer*> active{nullptr};

std::string StatusText(const char* step, RPC_STATUS status) {
  return std::string(step) + " failed with RPC status " + std::to_string(status);
}

}  // namespace

ServiceServer::ServiceServer(World& world) : world_(world) {}

ServiceServer::~ServiceServer() {
  Stop();
}

void ServiceServer::SetShutdownHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  shutdownHandler_ = std::move(handler);
}

bool ServiceServer::Start(std::string* error) {
  std::lock_guard lock(mutex_);
  if (running_) return true;
  std::string ignored;
  std::string& message = error != nullptr ? *error : ignored;
  if (!endpointMade_) {
    RPC_STATUS status = RpcServerUseProtseqEpA(
        reinterpret_cast<RPC_CSTR>(const_cast<char*>("ncalrpc")), RPC_C_PROTSEQ_MAX_REQS_DEFAULT,
        reinterpret_cast<RPC_CSTR>(const_cast<char*>(platform::kServiceEndpoint)), nullptr);
    if (status != RPC_S_OK) {
      message = StatusText("RpcServerUseProtseqEpA", status);
      return false;
    }
    endpointMade_ = true;
  }
  active = this;
  RPC_STATUS status = RpcServerRegisterIf(ServeKivoService_v1_0_s_ifspec, nullptr, nullptr);
  if (status != RPC_S_OK) {
    message = StatusText("RpcServerRegisterIf", status);
    return false;
  }
  status = RpcServerListen(1, RPC_C_LISTEN_MAX_CALLS_DEFAULT, TRUE);
  if (status != RPC_S_OK && status != RPC_S_ALREADY_LISTENING) {
    RpcServerUnregisterIf(ServeKivoService_v1_0_s_ifspec, nullptr, FALSE);
    message = StatusText("RpcServerListen", status);
    return false;
  }
  running_ = true;
  return true;
}

void ServiceServer::Stop() {
  std::lock_guard lock(mutex_);
  if (!running_) return;
  RpcServerUnregisterIf(ServeKivoService_v1_0_s_ifspec, nullptr, TRUE);
  RpcMgmtStopServerListening(nullptr);
  RpcMgmtWaitServerListen();
  running_ = false;
}

bool ServiceServer::Running() {
  std::lock_guard lock(mutex_);
  return running_;
}

short ServiceServer::FetchNotification(short controllerId) {
  std::lock_guard lock(world_.mutex);
  ++world_.serviceCalls;
  // No controller has a negative id.
  return static_cast<short>(NextNotification(world_, controllerId));
}

void ServiceServer::ShutdownService() {
  {
    std::lock_guard lock(world_.mutex);
    ++world_.serviceCalls;
  }
  std::function<void()> handler;
  {
    std::lock_guard lock(mutex_);
    handler = shutdownHandler_;
  }
  if (handler) handler();
}

}  // namespace kivo::emulator

// The server stub's procedures (widl's --prefix-server=Serve).
extern "C" short __cdecl ServeFetchNotification(handle_t, short controllerId) {
  kivo::emulator::ServiceServer* server = kivo::emulator::active;
  return server != nullptr ? server->FetchNotification(controllerId) : 0;
}

extern "C" void __cdecl ServeShutdownService(handle_t) {
  if (kivo::emulator::ServiceServer* server = kivo::emulator::active) server->ShutdownService();
}
