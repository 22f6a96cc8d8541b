// RpcServer: serves one interface on a local endpoint socket over
// connection-oriented DCE/RPC (bind/alter_context with NDR, fragmented
// requests and responses, faults). Used by the emulator's service side and by
// tests that need a live endpoint.
//
// A handler answers each reassembled request. It gets the stub in the
// caller's representation and writes its answer in `replyRep`; a nonzero
// fault status turns the answer into a fault PDU, which carries the request's
// context id. Unknown contexts answer nca_s_unk_if, requests before a bind
// nca_s_proto_error; a request flagged "maybe" is carried out and never
// answered. A PDU that does not decode, or one no client sends, closes the
// connection. When every connection slot is taken, a new client is served in
// place of the connection that has been idle longest.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/RpcPdu.h"
#include "platform/Win32Types.h"

namespace kivo::platform {

struct RpcCallResult {
  DWORD faultStatus = 0;           // nonzero: answer with a fault PDU
  std::vector<std::uint8_t> stub;  // in the reply representation
};

using RpcHandler = std::function<RpcCallResult(std::uint16_t opnum, std::span<const std::uint8_t> stub,
                                               const DataRep& callerRep, const DataRep& replyRep)>;

class RpcServer {
 public:
  RpcServer(SyntaxId interface, RpcHandler handler);
  ~RpcServer();
  RpcServer(const RpcServer&) = delete;
  RpcServer& operator=(const RpcServer&) = delete;

  // Settings; take effect for connections accepted afterwards.
  void SetDataRepresentation(const DataRep& drep) { drep_ = drep; }
  void SetMaxFragment(std::uint16_t bytes) { maxFragment_ = bytes < 32 ? 32 : bytes; }
  // A connection with nothing to read for this long is closed.
  void SetIdleTimeout(std::uint32_t ms) { idleTimeoutMs_ = ms; }

  // Creates the directory of the socket (mode 0700) and listens. A socket
  // file nobody listens on is replaced; a live endpoint is left alone and the
  // result is false with the reason in *error.
  bool Listen(const std::string& endpointPath, std::string* error);
  // Stops listening, ends every connection and removes the socket file. Must
  // not be called from a handler.
  void Stop();
  bool Listening() const { return listening_; }

  // Serves one connected stream socket on the calling thread until the peer
  // ends it or misbehaves, then closes it (tests and fuzzing use this without
  // listening).
  void ServeStream(int fd) { Serve(fd); }

  // Requests answered (with a response or a fault) since construction.
  std::uint64_t CallsAnswered() const { return calls_; }

 private:
  // What the accepting thread may know of a connection and do to it. The
  // serving thread sets fd to -1 under the mutex before it closes the
  // socket, so an eviction never reaches a descriptor number reused since.
  struct ConnectionState {
    std::mutex mutex;
    int fd = -1;
    bool busy = false;  // a PDU is being answered
    std::chrono::steady_clock::time_point lastActive = std::chrono::steady_clock::now();
    std::atomic<bool> done{false};
  };
  struct Connection {
    std::thread thread;
    std::shared_ptr<ConnectionState> state;
  };

  void AcceptLoop();
  void Serve(int fd, ConnectionState* state = nullptr);
  void ReapConnections(bool all);
  // Ends the connection idle longest to make room; false when every one is
  // busy answering. connectionsMutex_ held.
  bool EvictIdlest();

  SyntaxId interface_;
  RpcHandler handler_;
  DataRep drep_ = kLocalDataRep;
  std::uint16_t maxFragment_ = 4280;
  std::uint32_t idleTimeoutMs_ = 60000;

  std::string endpointPath_;
  unsigned long socketInode_ = 0;  // of the socket file this server made
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  std::atomic<bool> listening_{false};
  std::atomic<std::uint64_t> calls_{0};
  std::atomic<std::uint32_t> nextGroup_{0x1000};
  std::thread acceptThread_;
  std::mutex connectionsMutex_;  // guards connections_
  std::list<Connection> connections_;
};

}  // namespace kivo::platform
