// The client side of the Kivo service's local RPC interface (ncalrpc,
// endpoint "KIVO", interface c43a9290-fc30-11d3-a454-0050dacffdd7 v1.0):
// procedure 0 fetches a controller's next notification word, procedure 1
// asks the service to shut down. Each call binds afresh and releases the
// binding. On Windows the calls go through rpcrt4 and the stubs widl makes
// from win32/KivoService.idl; on Linux through RpcClient in the RPC
// directory. Statuses are the Windows RPC ones (1722 when no service
// listens), returned, never thrown.
#pragma once

#include <cstdint>
#include <string>

#include "platform/RpcPdu.h"
#include "platform/Win32Types.h"

namespace kivo::platform {

// The service's identity, for its clients and for the emulated service
// (win32/KivoService.idl states the same to widl).
constexpr char kServiceEndpoint[] = "KIVO";
constexpr std::uint16_t kFetchNotificationOpnum = 0;
constexpr std::uint16_t kShutdownServiceOpnum = 1;

// c43a9290-fc30-11d3-a454-0050dacffdd7 v1.0.
SyntaxId ServiceInterface();

// Where the endpoints live: Linux $KIVO_RPC_DIR, else
// $XDG_RUNTIME_DIR/kivo/ncalrpc, else /tmp/kivo-$UID/ncalrpc; on Windows "" (ncalrpc endpoints belong to
// the machine).
std::string DefaultRpcDirectory();

// Procedure 0: 0 with *word set, or the status with *word untouched.
DWORD CallFetchNotification(const std::string& rpcDirectory, std::uint16_t controllerId, std::uint16_t* word,
                            std::uint32_t timeoutMs);
// Procedure 1: 0, or the status.
DWORD CallShutdownService(const std::string& rpcDirectory, std::uint32_t timeoutMs);

}  // namespace kivo::platform
