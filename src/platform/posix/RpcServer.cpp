// The server side of local DCE/RPC associations: one accepting thread and one
// thread per connection (at most kMaxConnections at once).
#include "platform/posix/RpcServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "platform/posix/RpcClient.h"
#include "platform/posix/RpcSocket.h"

namespace kivo::platform {

namespace {

constexpr std::size_t kMaxConnections = 32;

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// True when something accepts connections on the socket file.
bool EndpointAlive(const std::string& path) {
  return RpcStream::Connect(path) != nullptr;
}

}  // namespace

RpcServer::RpcServer(SyntaxId interface, RpcHandler handler)
    : interface_(interface), handler_(std::move(handler)) {}

RpcServer::~RpcServer() {
  Stop();
}

bool RpcServer::Listen(const std::string& endpointPath, std::string* error) {
  if (listening_) Stop();
  std::string directory = DirectoryOf(endpointPath);
  if (!MakeRpcDirectory(directory)) {
    *error = "cannot create the directory " + directory + ": " + std::strerror(errno);
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (endpointPath.size() >= sizeof address.sun_path) {
    *error = "the endpoint path is too long for a socket: " + endpointPath;
    return false;
  }
  std::memcpy(address.sun_path, endpointPath.c_str(), endpointPath.size() + 1);
  struct stat info {};
  if (lstat(endpointPath.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode)) {
      *error = endpointPath + " exists and is not a socket";
      return false;
    }
    if (EndpointAlive(endpointPath)) {
      *error = "another server is listening on " + endpointPath;
      return false;
    }
    unlink(endpointPath.c_str());
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 64) != 0) {
    *error = "cannot listen on " + endpointPath + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  if (pipe2(stopPipe_, O_CLOEXEC) != 0) {
    *error = std::string("cannot create a pipe: ") + std::strerror(errno);
    close(fd);
    unlink(endpointPath.c_str());
    return false;
  }
  endpointPath_ = endpointPath;
  struct stat bound {};
  socketInode_ = stat(endpointPath.c_str(), &bound) == 0 ? bound.st_ino : 0;
  listenFd_ = fd;
  listening_ = true;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void RpcServer::Stop() {
  if (!listening_) return;
  // The pipe stays readable once written, so every waiting poll sees it.
  char byte = 1;
  ssize_t ignored = write(stopPipe_[1], &byte, 1);
  (void)ignored;
  if (acceptThread_.joinable()) acceptThread_.join();
  ReapConnections(true);
  close(listenFd_);
  listenFd_ = -1;
  // Remove the file only while it is still ours (not replaced by a newer server).
  struct stat current {};
  if (stat(endpointPath_.c_str(), &current) == 0 && current.st_ino == socketInode_)
    unlink(endpointPath_.c_str());
  close(stopPipe_[0]);
  close(stopPipe_[1]);
  stopPipe_[0] = stopPipe_[1] = -1;
  listening_ = false;
}

void RpcServer::ReapConnections(bool all) {
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (all || it->state->done.load()) {
      it->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void RpcServer::AcceptLoop() {
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    int ready = poll(p, 2, 1000);
    if (ready < 0 && errno != EINTR) return;
    if (p[1].revents != 0) return;
    ReapConnections(false);
    if (ready <= 0 || !(p[0].revents & POLLIN)) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    std::size_t live = 0;
    for (const Connection& connection : connections_) live += connection.state->done.load() ? 0 : 1;
    // Clients that connect and say nothing must not lock the others out
    // until the idle timeout: the idlest connection makes room.
    if (live >= kMaxConnections && !EvictIdlest()) {
      close(fd);  // the caller sees the association fail before its request
      continue;
    }
    auto state = std::make_shared<ConnectionState>();
    state->fd = fd;
    connections_.push_back(Connection{std::thread([this, fd, state] {
                                        Serve(fd, state.get());
                                        state->done.store(true);
                                      }),
                                      state});
  }
}

bool RpcServer::EvictIdlest() {
  ConnectionState* idlest = nullptr;
  auto oldest = std::chrono::steady_clock::time_point::max();
  for (Connection& connection : connections_) {
    ConnectionState& state = *connection.state;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.fd < 0 || state.busy || state.lastActive >= oldest) continue;
    oldest = state.lastActive;
    idlest = &state;
  }
  if (idlest == nullptr) return false;
  std::lock_guard<std::mutex> lock(idlest->mutex);
  if (idlest->fd < 0 || idlest->busy) return false;
  // Wakes its serving thread, which sees the end of the stream and closes it.
  shutdown(idlest->fd, SHUT_RDWR);
  idlest->fd = -1;
  return true;
}

void RpcServer::Serve(int fd, ConnectionState* state) {
  RpcStream stream(fd);
  // Destroyed before the stream closes the socket.
  struct Release {
    ConnectionState* state;
    ~Release() {
      if (state == nullptr) return;
      std::lock_guard<std::mutex> lock(state->mutex);
      state->fd = -1;
    }
  } release{state};
  auto setBusy = [state](bool busy) {
    if (state == nullptr) return;
    std::lock_guard<std::mutex> lock(state->mutex);
    state->busy = busy;
    state->lastActive = std::chrono::steady_clock::now();
  };
  const DataRep drep = drep_;
  const std::uint16_t maxFragment = maxFragment_;
  const std::uint32_t idleMs = idleTimeoutMs_;
  std::uint16_t xmit = maxFragment;
  bool bound = false;
  std::set<std::uint16_t> contexts;

  // The request being reassembled.
  bool assembling = false;
  std::uint32_t callId = 0;
  std::uint16_t opnum = 0;
  std::uint16_t contextId = 0;
  bool maybe = false;  // the caller wants no answer
  DataRep callerRep;
  std::vector<std::uint8_t> stub;

  auto send = [&](Pdu pdu) { return stream.SendAll(EncodePdu(pdu), DeadlineAfter(idleMs)); };
  auto fault = [&](std::uint32_t id, std::uint16_t context, DWORD status, bool didNotExecute) {
    Pdu pdu;
    pdu.header.type = PduType::kFault;
    pdu.header.drep = drep;
    pdu.header.callId = id;
    pdu.header.flags = kPfcFirstFrag | kPfcLastFrag | (didNotExecute ? kPfcDidNotExecute : 0);
    FaultBody body;
    body.contextId = context;
    body.status = status;
    pdu.body = body;
    calls_++;
    return send(std::move(pdu));
  };

  for (;;) {
    std::vector<std::uint8_t> frame;
    setBusy(false);
    if (stream.ReadPdu(DeadlineAfter(idleMs), &frame, stopPipe_[0]) != ReadResult::kOk) return;
    setBusy(true);
    Pdu pdu;
    if (DecodePdu(frame, &pdu) != 0) return;
    const PduHeader& h = pdu.header;

    if (const auto* bind = std::get_if<BindBody>(&pdu.body)) {
      bool isBind = h.type == PduType::kBind;
      if (bind->contexts.empty() || bind->maxRecvFrag < 32) {
        Pdu nak;
        nak.header.type = PduType::kBindNak;
        nak.header.drep = drep;
        nak.header.callId = h.callId;
        nak.body = BindNakBody{kRejectNotSpecified, {{5, 0}}};
        if (!send(std::move(nak))) return;
        continue;
      }
      if (isBind) contexts.clear();
      xmit = std::min(maxFragment, bind->maxRecvFrag);
      BindAckBody ack;
      ack.maxXmitFrag = xmit;
      ack.maxRecvFrag = maxFragment;
      ack.assocGroupId = isBind ? nextGroup_++ : bind->assocGroupId;
      if (isBind) ack.secondaryAddress = BaseName(endpointPath_);
      for (const ContextElement& element : bind->contexts) {
        BindResult result;
        bool ndr = std::find(element.transferSyntaxes.begin(), element.transferSyntaxes.end(), NdrSyntax()) !=
                   element.transferSyntaxes.end();
        if (!(element.abstractSyntax.uuid == interface_.uuid) ||
            element.abstractSyntax.major != interface_.major ||
            element.abstractSyntax.minor > interface_.minor) {
          result.result = kResultProviderRejection;
          result.reason = kReasonAbstractSyntaxNotSupported;
        } else if (!ndr) {
          result.result = kResultProviderRejection;
          result.reason = kReasonTransferSyntaxesNotSupported;
        } else {
          result.transferSyntax = NdrSyntax();
          contexts.insert(element.contextId);
        }
        ack.results.push_back(result);
      }
      bound = bound || !contexts.empty();
      Pdu answer;
      answer.header.type = isBind ? PduType::kBindAck : PduType::kAlterContextResp;
      answer.header.drep = drep;
      answer.header.callId = h.callId;
      answer.body = std::move(ack);
      if (!send(std::move(answer))) return;
      continue;
    }

    if (const auto* request = std::get_if<RequestBody>(&pdu.body)) {
      if (!bound) {
        if (h.flags & kPfcMaybe) continue;
        if (!fault(h.callId, request->contextId, kNcaProtocolError, true)) return;
        continue;
      }
      if (h.flags & kPfcFirstFrag) {
        if (assembling) return;  // a new call before the last one was complete
        assembling = true;
        callId = h.callId;
        opnum = request->opnum;
        contextId = request->contextId;
        maybe = (h.flags & kPfcMaybe) != 0;
        callerRep = h.drep;
        stub.clear();
      } else if (!assembling || h.callId != callId || !(h.drep == callerRep)) {
        return;
      }
      if (stub.size() + request->stub.size() > kMaxRpcStub) {
        if (!maybe) fault(callId, contextId, kNcaProtocolError, true);
        return;
      }
      stub.insert(stub.end(), request->stub.begin(), request->stub.end());
      if (!(h.flags & kPfcLastFrag)) continue;
      assembling = false;

      if (contexts.count(contextId) == 0) {
        if (!maybe && !fault(callId, contextId, kNcaUnknownInterface, true)) return;
        continue;
      }
      RpcCallResult result = handler_(opnum, stub, callerRep, drep);
      if (maybe) continue;  // carried out; the caller asked for no answer
      if (result.faultStatus != 0) {
        if (!fault(callId, contextId, result.faultStatus, false)) return;
        continue;
      }
      calls_++;  // before the answer goes out, so a caller that has it sees the count
      std::size_t chunk = std::max<std::size_t>(8, (xmit - kResponseHeaderSize) & ~std::size_t{7});
      std::size_t offset = 0;
      do {
        std::size_t length = std::min(chunk, result.stub.size() - offset);
        Pdu response;
        response.header.type = PduType::kResponse;
        response.header.drep = drep;
        response.header.callId = callId;
        response.header.flags = 0;
        if (offset == 0) response.header.flags |= kPfcFirstFrag;
        if (offset + length == result.stub.size()) response.header.flags |= kPfcLastFrag;
        ResponseBody body;
        body.allocHint = static_cast<std::uint32_t>(result.stub.size() - offset);
        body.contextId = contextId;
        body.stub.assign(result.stub.begin() + static_cast<std::ptrdiff_t>(offset),
                         result.stub.begin() + static_cast<std::ptrdiff_t>(offset + length));
        response.body = std::move(body);
        if (!send(std::move(response))) return;
        offset += length;
      } while (offset < result.stub.size());
      continue;
    }

    switch (h.type) {
      case PduType::kAuth3:
      case PduType::kCoCancel:
      case PduType::kShutdown:
        continue;
      case PduType::kOrphaned:
        assembling = false;
        continue;
      default:
        return;  // a PDU only a server sends
    }
  }
}

}  // namespace kivo::platform
