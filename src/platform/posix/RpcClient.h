// RpcClient: one connection-oriented DCE/RPC association with a local
// endpoint: connect, bind one interface with the NDR transfer syntax, make
// calls, release. Used by ServiceLink (monitor/) and by tests and benchmarks.
//
// Statuses (Windows RPC numbers, returned, never thrown):
//   1722 RPC_S_SERVER_UNAVAILABLE    no socket, refused, or a path too long
//   1727 RPC_S_CALL_FAILED_DNE       the association failed before the request went out:
//                                    no bind answer in time, connection closed during bind,
//                                    bind_nak (except "local limit exceeded": 1723)
//   1723 RPC_S_SERVER_TOO_BUSY       bind_nak, local limit exceeded
//   1717 RPC_S_UNKNOWN_IF            the server rejected the interface
//   1730 RPC_S_UNSUPPORTED_TRANS_SYN the server rejected NDR
//   1726 RPC_S_CALL_FAILED           after the request went out: no answer in time, connection
//                                    dropped, a shutdown PDU, or a fault whose status is 0
//   1728 RPC_S_PROTOCOL_ERROR        a malformed, truncated or unexpected PDU, a bind_ack for
//                                    another transfer syntax, a reply with another call id or
//                                    context, a reply stub larger than 1 MiB
//   any other                        a fault PDU's status, as it stands
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/RpcPdu.h"
#include "platform/Win32Types.h"
#include "platform/posix/RpcSocket.h"

namespace kivo::platform {

constexpr std::uint32_t kDefaultRpcTimeoutMs = 10000;
constexpr std::size_t kMaxRpcStub = 1 << 20;

struct RpcReply {
  std::vector<std::uint8_t> stub;  // reassembled, in the server's representation
  DataRep drep = kLocalDataRep;    // the representation the server wrote it in
};

class RpcClient {
 public:
  RpcClient(std::string endpointPath, SyntaxId interface);
  ~RpcClient();
  RpcClient(const RpcClient&) = delete;
  RpcClient& operator=(const RpcClient&) = delete;
  RpcClient(RpcClient&&) = default;
  RpcClient& operator=(RpcClient&&) = default;

  // The longest wait for the bind's answer, and for a call's whole answer
  // (all its response fragments).
  void SetTimeout(std::uint32_t ms) { timeoutMs_ = ms; }
  // The largest fragment this client sends and accepts (at least 32 bytes).
  void SetMaxFragment(std::uint16_t bytes) { maxFragment_ = bytes < 32 ? 32 : bytes; }
  // The representation requests are sent in (the stub must be encoded in it).
  void SetDataRepresentation(const DataRep& drep) { drep_ = drep; }
  const DataRep& DataRepresentation() const { return drep_; }

  // Connects and binds; 0 or a status from the table above.
  DWORD Bind();
  // Binds over a stream that is already connected (tests and fuzzing feed
  // the client this way).
  DWORD BindOver(std::unique_ptr<RpcStream> stream);
  // One call on the bound association; the stub is sent in fragments as the
  // negotiated size requires. 0 with the reply, or a status.
  DWORD Call(std::uint16_t opnum, std::span<const std::uint8_t> stub, RpcReply* reply);
  // Closes the association.
  void Release();

 private:
  std::string endpointPath_;
  SyntaxId interface_;
  std::uint32_t timeoutMs_ = kDefaultRpcTimeoutMs;
  std::uint16_t maxFragment_ = 4280;
  std::uint16_t xmitFragment_ = 4280;
  DataRep drep_ = kLocalDataRep;
  std::uint32_t nextCallId_ = 1;
  std::unique_ptr<RpcStream> stream_;
};

}  // namespace kivo::platform
