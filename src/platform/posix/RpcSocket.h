// The local transport under the RPC client and server: an endpoint is the
// Unix-domain stream socket <RPC directory>/<endpoint name>, and PDUs are read
// whole from it with a deadline. Platform-internal (RpcClient, RpcServer).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kivo::platform {

using RpcDeadline = std::chrono::steady_clock::time_point;

// <directory>/<endpoint>.
std::string RpcEndpointPath(const std::string& directory, const std::string& endpoint);
// Creates the directory and its missing parents with mode 0700; false on
// failure, or when the directory belongs to another user or others may write
// it or a parent (errno EPERM).
bool MakeRpcDirectory(const std::string& directory);

RpcDeadline DeadlineAfter(std::uint32_t ms);

enum class ReadResult {
  kOk,
  kClosed,     // orderly end of the stream before the first byte of a PDU
  kTruncated,  // the stream ended inside a PDU (fragment length beyond the data)
  kMalformed,  // the header does not decode (version, type, representation, length)
  kTimeout,    // nothing complete arrived before the deadline
  kStopped,    // the stop descriptor became readable
  kError,      // any other socket failure
};

// One connected stream socket, closed with the object.
class RpcStream {
 public:
  explicit RpcStream(int fd) : fd_(fd) {}
  ~RpcStream();
  RpcStream(const RpcStream&) = delete;
  RpcStream& operator=(const RpcStream&) = delete;

  // Connects to the endpoint's socket; nullptr when it does not exist, refuses,
  // the path is too long for a socket address, or the directory or the server
  // is not this user's (or root's): the reason then goes to standard error.
  static std::unique_ptr<RpcStream> Connect(const std::string& path);

  // Sends every byte before the deadline; false otherwise.
  bool SendAll(std::span<const std::uint8_t> bytes, RpcDeadline deadline);
  // Reads one whole PDU (frag_length bytes). `stopFd`, when not -1, ends the
  // wait as soon as it becomes readable.
  ReadResult ReadPdu(RpcDeadline deadline, std::vector<std::uint8_t>* frame, int stopFd = -1);
  int Fd() const { return fd_; }
  void ShutdownBoth();

 private:
  // Reads exactly n bytes: n read, or fewer on end of stream; -1 timeout, -2 stop, -3 error.
  long ReadExactly(std::uint8_t* out, std::size_t n, RpcDeadline deadline, int stopFd);

  int fd_;
};

}  // namespace kivo::platform
