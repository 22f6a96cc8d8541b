// The service's procedures through rpcrt4: compose the string binding
// "ncalrpc:[KIVO]", make the binding handle, call the widl client stub inside
// the exception guard, free the string binding and the handle. The statuses
// are the run time's own (1722 when no service listens on the endpoint).
#include "platform/ServiceRpc.h"

#include "platform/win32/ServiceRpcGuard.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

#include <rpc.h>

#include "KivoService.h"

namespace kivo::platform {
namespace {

struct FetchCall {
  handle_t binding;
  short controllerId;
  short word;
};

struct ShutdownCall {
  handle_t binding;
};

void RunFetch(void* context) {
  auto* call = static_cast<FetchCall*>(context);
  call->word = ::FetchNotification(call->binding, call->controllerId);
}

void RunShutdown(void* context) {
  ::ShutdownService(static_cast<ShutdownCall*>(context)->binding);
}

// Steps 1 to 5 around one stub call; `call` runs the stub with the handle.
template <typename Call>
DWORD WithBinding(std::uint32_t timeoutMs, Call&& call) {
  RPC_CSTR text = nullptr;
  RPC_STATUS status = ::RpcStringBindingComposeA(
      nullptr, reinterpret_cast<RPC_CSTR>(const_cast<char*>("ncalrpc")), nullptr,
      reinterpret_cast<RPC_CSTR>(const_cast<char*>(kServiceEndpoint)), nullptr, &text);
  if (status != RPC_S_OK) return status;
  handle_t binding = nullptr;
  status = ::RpcBindingFromStringBindingA(text, &binding);
  if (status != RPC_S_OK) {
    ::RpcStringFreeA(&text);
    return status;
  }
  // A service that takes the call and never answers must not hold the
  // monitor thread for ever.
  ::RpcMgmtSetComTimeout(binding,
                         timeoutMs >= 10000 ? RPC_C_BINDING_DEFAULT_TIMEOUT : RPC_C_BINDING_MIN_TIMEOUT);
  const DWORD raised = call(binding);
  status = ::RpcStringFreeA(&text);
  if (status != RPC_S_OK) {
    ::RpcBindingFree(&binding);
    return status;
  }
  status = ::RpcBindingFree(&binding);
  if (status != RPC_S_OK) return status;
  return raised;
}

}  // namespace

std::string DefaultRpcDirectory() {
  return "";
}

DWORD CallFetchNotification(const std::string&, std::uint16_t controllerId, std::uint16_t* word,
                            std::uint32_t timeoutMs) {
  return WithBinding(timeoutMs, [&](handle_t binding) -> DWORD {
    FetchCall call{binding, static_cast<short>(controllerId), 0};
    const DWORD raised = KivoGuardedRpcCall(RunFetch, &call);
    if (raised == 0) *word = static_cast<std::uint16_t>(call.word);
    return raised;
  });
}

DWORD CallShutdownService(const std::string&, std::uint32_t timeoutMs) {
  return WithBinding(timeoutMs, [&](handle_t binding) -> DWORD {
    ShutdownCall call{binding};
    return KivoGuardedRpcCall(RunShutdown, &call);
  });
}

}  // namespace kivo::platform
