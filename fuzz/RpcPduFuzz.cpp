// libFuzzer target for the RPC parsers: the PDU decoder itself, the client
// reading the input as the server's answers to a bind and a call, and the
// server reading the input as a client's PDUs. Run by scripts/test.sh.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/RpcPdu.h"
#include "platform/ServiceRpc.h"
#include "platform/posix/RpcClient.h"
#include "platform/posix/RpcServer.h"
#include "platform/posix/RpcSocket.h"

namespace {

using namespace kivo::platform;

// Writes the input into one end of a socket pair and ends it, so the reader
// sees exactly these bytes and then the end of the stream.
bool Feed(const std::uint8_t* data, std::size_t size, int fds[2]) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  int sizeBytes = 1 << 20;
  setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &sizeBytes, sizeof sizeBytes);
  setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &sizeBytes, sizeof sizeBytes);
  std::size_t sent = 0;
  while (sent < size) {
    ssize_t n = send(fds[1], data + sent, size - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  shutdown(fds[1], SHUT_WR);
  return true;
}

void FuzzDecoder(std::span<const std::uint8_t> bytes) {
  Pdu pdu;
  if (DecodePdu(bytes, &pdu) == 0) {
    Pdu again;
    if (DecodePdu(EncodePdu(pdu), &again) != 0) __builtin_trap();
  }
  // The input as a stream of PDUs, as a reader would cut it.
  while (bytes.size() >= kPduHeaderSize) {
    PduHeader header;
    if (DecodeHeader(bytes, &header) != 0 || header.fragLength > bytes.size()) break;
    DecodePdu(bytes.subspan(0, header.fragLength), &pdu);
    bytes = bytes.subspan(header.fragLength);
  }
}

void FuzzClient(const std::uint8_t* data, std::size_t size) {
  int fds[2];
  if (!Feed(data, size, fds)) return;
  RpcClient client("", kivo::platform::ServiceInterface());
  client.SetTimeout(50);
  if (client.BindOver(std::make_unique<RpcStream>(fds[0])) == 0) {
    RpcReply reply;
    client.Call(0, EncodeNdrShort(1, kLocalDataRep), &reply);
  }
  close(fds[1]);
}

void FuzzServer(const std::uint8_t* data, std::size_t size) {
  int fds[2];
  if (!Feed(data, size, fds)) return;
  RpcServer server(kivo::platform::ServiceInterface(),
                   [](std::uint16_t opnum, std::span<const std::uint8_t> stub, const DataRep& callerRep,
                      const DataRep& replyRep) {
                     RpcCallResult result;
                     std::uint16_t value = 0;
                     if (opnum != 0 || !DecodeNdrShort(stub, callerRep, &value)) {
                       result.faultStatus = kNcaOpRangeError;
                     } else {
                       result.stub = EncodeNdrShort(value, replyRep);
                     }
                     return result;
                   });
  server.SetIdleTimeout(50);
  server.ServeStream(fds[0]);
  close(fds[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzDecoder(std::span<const std::uint8_t>(data, size));
  FuzzClient(data, size);
  FuzzServer(data, size);
  return 0;
}
