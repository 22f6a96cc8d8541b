// RPC bind and call as conversations: the client against the real server
// (byte orders, fragmentation, faults, rejected binds) and against scripted
// peers that answer wrongly (every bad answer gives a status, never a hang),
// and the server against clients that send garbage.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>

#include "platform/RpcBytes.h"
#include "platform/ServiceRpc.h"
#include "platform/posix/RpcClient.h"
#include "platform/posix/RpcServer.h"
#include "platform/posix/RpcSocket.h"

namespace kivo::test {
namespace {

using namespace kivo::platform;

std::string MakeTempDir() {
  char pattern[] = "/tmp/kivo-rpc-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir ? dir : "";
}

// A listening socket without a server behind it (nobody accepts).
int ListenRaw(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Accepts one connection and plays a script on it, in its own thread.
class ScriptedPeer {
 public:
  ScriptedPeer(const std::string& path, std::function<void(RpcStream&)> script) {
    listenFd_ = ListenRaw(path);
    thread_ = std::thread([this, script] {
      pollfd p{listenFd_, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) return;
      int fd = accept(listenFd_, nullptr, nullptr);
      if (fd < 0) return;
      RpcStream stream(fd);
      script(stream);
    });
  }
  ~ScriptedPeer() {
    thread_.join();
    close(listenFd_);
  }

 private:
  int listenFd_ = -1;
  std::thread thread_;
};

Pdu ReadOne(RpcStream& stream) {
  std::vector<std::uint8_t> frame;
  Pdu pdu;
  if (stream.ReadPdu(DeadlineAfter(5000), &frame) == ReadResult::kOk) DecodePdu(frame, &pdu);
  return pdu;
}

void Send(RpcStream& stream, const std::vector<std::uint8_t>& bytes) {
  stream.SendAll(bytes, DeadlineAfter(5000));
}

Pdu AckFor(const Pdu& bind, SyntaxId transfer = NdrSyntax(), std::uint16_t result = kResultAcceptance,
           std::uint16_t reason = 0) {
  Pdu ack;
  ack.header.type = PduType::kBindAck;
  ack.header.callId = bind.header.callId;
  BindAckBody body;
  body.results.push_back(BindResult{result, reason, transfer});
  ack.body = body;
  return ack;
}

Pdu ResponseFor(std::uint32_t callId, std::vector<std::uint8_t> stub, const DataRep& drep,
                std::uint8_t flags = kPfcFirstFrag | kPfcLastFrag) {
  Pdu response;
  response.header.type = PduType::kResponse;
  response.header.drep = drep;
  response.header.callId = callId;
  response.header.flags = flags;
  response.body = ResponseBody{static_cast<std::uint32_t>(stub.size()), 0, 0, stub};
  return response;
}

// Opnum 0: the short plus one; opnum 7: the stub echoed; others: a fault.
RpcCallResult TestHandler(std::uint16_t opnum, std::span<const std::uint8_t> stub, const DataRep& callerRep,
                          const DataRep& replyRep) {
  RpcCallResult result;
  if (opnum == 0) {
    std::uint16_t value = 0;
    if (!DecodeNdrShort(stub, callerRep, &value)) return {kNcaProtocolError, {}};
    result.stub = EncodeNdrShort(static_cast<std::uint16_t>(value + 1), replyRep);
  } else if (opnum == 7) {
    result.stub.assign(stub.begin(), stub.end());
  } else {
    result.faultStatus = kNcaOpRangeError;
  }
  return result;
}

class RpcClientServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir();
    ASSERT_FALSE(dir_.empty());
    path_ = RpcEndpointPath(dir_, "KIVO");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void StartServer() {
    std::string error;
    ASSERT_TRUE(server_.Listen(path_, &error)) << error;
  }

  RpcClient Client() {
    RpcClient client(path_, ServiceInterface());
    client.SetTimeout(3000);
    return client;
  }

  DWORD CallShort(RpcClient& client, std::uint16_t in, std::uint16_t* out, DataRep* replyRep = nullptr) {
    DWORD status = client.Bind();
    if (status != 0) return status;
    RpcReply reply;
    status = client.Call(0, EncodeNdrShort(in, client.DataRepresentation()), &reply);
    if (status != 0) return status;
    if (replyRep) *replyRep = reply.drep;
    return DecodeNdrShort(reply.stub, reply.drep, out) ? 0 : RPC_S_PROTOCOL_ERROR;
  }

  std::string dir_;
  std::string path_;
  RpcServer server_{ServiceInterface(), TestHandler};
};

TEST_F(RpcClientServerTest, CallGoesThroughAndIsCounted) {
  StartServer();
  RpcClient client = Client();
  std::uint16_t out = 0;
  ASSERT_EQ(CallShort(client, 0x0108, &out), 0u);
  EXPECT_EQ(out, 0x0109);
  EXPECT_EQ(server_.CallsAnswered(), 1u);
  // A second call on the same association.
  RpcReply reply;
  std::vector<std::uint8_t> stub = {9, 8, 7};
  ASSERT_EQ(client.Call(7, stub, &reply), 0u);
  EXPECT_EQ(reply.stub, stub);
  EXPECT_EQ(server_.CallsAnswered(), 2u);
}

TEST_F(RpcClientServerTest, BigEndianServerReplyReadsRight) {
  server_.SetDataRepresentation(kBigEndianDataRep);
  StartServer();
  RpcClient client = Client();
  std::uint16_t out = 0;
  DataRep replyRep;
  ASSERT_EQ(CallShort(client, 0x1234, &out, &replyRep), 0u);
  EXPECT_EQ(replyRep, kBigEndianDataRep);
  EXPECT_EQ(out, 0x1235);
}

TEST_F(RpcClientServerTest, BigEndianClientRequestReadsRight) {
  StartServer();
  RpcClient client = Client();
  client.SetDataRepresentation(kBigEndianDataRep);
  std::uint16_t out = 0;
  ASSERT_EQ(CallShort(client, 0x00FF, &out), 0u);
  EXPECT_EQ(out, 0x0100);
}

TEST_F(RpcClientServerTest, LargeRequestAndResponseTravelInFragments) {
  server_.SetMaxFragment(48);  // 24 stub bytes per response fragment
  StartServer();
  RpcClient client = Client();
  client.SetMaxFragment(40);  // 16 stub bytes per request fragment
  ASSERT_EQ(client.Bind(), 0u);
  std::vector<std::uint8_t> stub(1000);
  for (std::size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<std::uint8_t>(i * 7);
  RpcReply reply;
  ASSERT_EQ(client.Call(7, stub, &reply), 0u);
  EXPECT_EQ(reply.stub, stub);
}

TEST_F(RpcClientServerTest, FaultStatusIsReturnedAsItStands) {
  StartServer();
  RpcClient client = Client();
  ASSERT_EQ(client.Bind(), 0u);
  RpcReply reply;
  EXPECT_EQ(client.Call(42, {}, &reply), kNcaOpRangeError);
}

TEST_F(RpcClientServerTest, ServerRejectsAnotherInterface) {
  StartServer();
  SyntaxId other = ServiceInterface();
  other.major = 2;
  RpcClient client(path_, other);
  EXPECT_EQ(client.Bind(), RPC_S_UNKNOWN_IF);
}

TEST_F(RpcClientServerTest, NoServerIsServerUnavailable) {
  RpcClient client = Client();
  EXPECT_EQ(client.Bind(), RPC_S_SERVER_UNAVAILABLE);
  // A socket file that nobody listens on any more refuses.
  int fd = ListenRaw(path_);
  close(fd);
  EXPECT_EQ(client.Bind(), RPC_S_SERVER_UNAVAILABLE);
}

TEST_F(RpcClientServerTest, SilentServerGivesUpWithinTheTimeout) {
  int fd = ListenRaw(path_);  // connections queue, nobody answers
  ASSERT_GE(fd, 0);
  RpcClient client = Client();
  client.SetTimeout(200);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Bind(), RPC_S_CALL_FAILED_DNE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  close(fd);
}

TEST_F(RpcClientServerTest, ListenerWithAFullQueueFailsAtOnce) {
  // A server that stopped accepting: its queue fills up, and a connect must
  // then fail instead of waiting for room.
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(fd, 0), 0);
  std::vector<int> queued;
  for (int i = 0; i < 16; ++i) {
    int c = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (connect(c, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(c);
      break;
    }
    queued.push_back(c);
  }
  ASSERT_LT(queued.size(), 16u);  // the queue is full now
  RpcClient client = Client();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Bind(), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  for (int c : queued) close(c);
  close(fd);
}

TEST_F(RpcClientServerTest, StopRemovesTheSocketAndCallsFail) {
  StartServer();
  EXPECT_TRUE(std::filesystem::exists(path_));
  server_.Stop();
  EXPECT_FALSE(std::filesystem::exists(path_));
  RpcClient client = Client();
  EXPECT_EQ(client.Bind(), RPC_S_SERVER_UNAVAILABLE);
  StartServer();  // and it can listen again
  std::uint16_t out = 0;
  EXPECT_EQ(CallShort(client, 1, &out), 0u);
}

TEST_F(RpcClientServerTest, LiveEndpointIsNotTakenOverButAStaleOneIs) {
  StartServer();
  RpcServer second(ServiceInterface(), TestHandler);
  std::string error;
  EXPECT_FALSE(second.Listen(path_, &error));
  EXPECT_NE(error.find("another server"), std::string::npos);
  server_.Stop();
  close(ListenRaw(path_));  // a stale socket file
  EXPECT_TRUE(second.Listen(path_, &error)) << error;
}

// Scripted peers: the bind is answered by the script.
struct ScriptCase {
  const char* what;
  std::function<void(RpcStream&)> script;
  DWORD expected;
};

std::vector<ScriptCase> ScriptCases() {
  std::vector<ScriptCase> cases;
  auto bindThen = [](std::function<void(RpcStream&, const Pdu&)> after) {
    return [after](RpcStream& stream) {
      Pdu bind = ReadOne(stream);
      Send(stream, EncodePdu(AckFor(bind)));
      Pdu request = ReadOne(stream);
      after(stream, request);
    };
  };
  cases.push_back({"bind_ack with version 4",
                   [](RpcStream& s) {
                     auto bytes = EncodePdu(AckFor(ReadOne(s)));
                     bytes[0] = 4;
                     Send(s, bytes);
                   },
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back({"bind_ack for another transfer syntax",
                   [](RpcStream& s) {
                     SyntaxId other = NdrSyntax();
                     other.uuid.timeLow ^= 1;
                     Send(s, EncodePdu(AckFor(ReadOne(s), other)));
                   },
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back({"bind_ack for another call id",
                   [](RpcStream& s) {
                     Pdu ack = AckFor(ReadOne(s));
                     ack.header.callId += 5;
                     Send(s, EncodePdu(ack));
                   },
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back({"bind_ack rejecting the transfer syntax",
                   [](RpcStream& s) {
                     Send(s, EncodePdu(AckFor(ReadOne(s), {}, kResultProviderRejection,
                                              kReasonTransferSyntaxesNotSupported)));
                   },
                   RPC_S_UNSUPPORTED_TRANS_SYN});
  cases.push_back({"bind_nak",
                   [](RpcStream& s) {
                     Pdu nak;
                     nak.header.type = PduType::kBindNak;
                     nak.header.callId = ReadOne(s).header.callId;
                     nak.body = BindNakBody{kRejectProtocolVersionNotSupported, {{5, 0}}};
                     Send(s, EncodePdu(nak));
                   },
                   RPC_S_CALL_FAILED_DNE});
  cases.push_back({"bind_nak for a server at its limit",
                   [](RpcStream& s) {
                     Pdu nak;
                     nak.header.type = PduType::kBindNak;
                     nak.body = BindNakBody{kRejectLocalLimitExceeded, {}};
                     ReadOne(s);
                     Send(s, EncodePdu(nak));
                   },
                   RPC_S_SERVER_TOO_BUSY});
  cases.push_back({"unknown PDU type",
                   [](RpcStream& s) {
                     auto bytes = EncodePdu(AckFor(ReadOne(s)));
                     bytes[2] = 20;
                     Send(s, bytes);
                   },
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back({"a short PDU, then the end",
                   [](RpcStream& s) {
                     ReadOne(s);
                     Send(s, {5, 0, 12, 3, 0x10});
                   },
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back({"frag length beyond the data, then the end",
                   [](RpcStream& s) {
                     auto bytes = EncodePdu(AckFor(ReadOne(s)));
                     bytes.resize(30);
                     Send(s, bytes);
                   },
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back({"closed during the bind", [](RpcStream& s) { ReadOne(s); }, RPC_S_CALL_FAILED_DNE});
  cases.push_back({"response with the wrong call id", bindThen([](RpcStream& s, const Pdu& request) {
                     Send(s, EncodePdu(ResponseFor(request.header.callId + 1, {1, 0}, kLocalDataRep)));
                   }),
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back({"response for another context", bindThen([](RpcStream& s, const Pdu& request) {
                     Pdu response = ResponseFor(request.header.callId, {1, 0}, kLocalDataRep);
                     std::get<ResponseBody>(response.body).contextId = 3;
                     Send(s, EncodePdu(response));
                   }),
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back(
      {"middle fragment first", bindThen([](RpcStream& s, const Pdu& request) {
         Send(s, EncodePdu(ResponseFor(request.header.callId, {1, 0}, kLocalDataRep, kPfcLastFrag)));
       }),
       RPC_S_PROTOCOL_ERROR});
  cases.push_back(
      {"fragments in two byte orders", bindThen([](RpcStream& s, const Pdu& request) {
         Send(s, EncodePdu(ResponseFor(request.header.callId, {1}, kLocalDataRep, kPfcFirstFrag)));
         Send(s, EncodePdu(ResponseFor(request.header.callId, {0}, kBigEndianDataRep, kPfcLastFrag)));
       }),
       RPC_S_PROTOCOL_ERROR});
  cases.push_back({"fault with a status", bindThen([](RpcStream& s, const Pdu& request) {
                     Pdu fault;
                     fault.header.type = PduType::kFault;
                     fault.header.callId = request.header.callId;
                     fault.body = FaultBody{0, 0, 0, 0x6BF, {}};
                     Send(s, EncodePdu(fault));
                   }),
                   0x6BF});
  cases.push_back({"fault with status 0", bindThen([](RpcStream& s, const Pdu& request) {
                     Pdu fault;
                     fault.header.type = PduType::kFault;
                     fault.header.callId = request.header.callId;
                     fault.body = FaultBody{};
                     Send(s, EncodePdu(fault));
                   }),
                   RPC_S_CALL_FAILED});
  cases.push_back(
      {"connection dropped after the request", bindThen([](RpcStream&, const Pdu&) {}), RPC_S_CALL_FAILED});
  cases.push_back({"a bind_ack instead of a response", bindThen([](RpcStream& s, const Pdu& request) {
                     Pdu ack = AckFor(request);
                     Send(s, EncodePdu(ack));
                   }),
                   RPC_S_PROTOCOL_ERROR});
  cases.push_back({"shutdown instead of a response", bindThen([](RpcStream& s, const Pdu&) {
                     Pdu shutdown;
                     shutdown.header.type = PduType::kShutdown;
                     Send(s, EncodePdu(shutdown));
                   }),
                   RPC_S_CALL_FAILED});
  return cases;
}

TEST_F(RpcClientServerTest, EveryBadAnswerIsAStatus) {
  for (const ScriptCase& c : ScriptCases()) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path_);
    ScriptedPeer peer(path_, c.script);
    RpcClient client = Client();
    std::uint16_t out = 0xAAAA;
    EXPECT_EQ(CallShort(client, 1, &out), c.expected);
    EXPECT_EQ(out, 0xAAAA);
  }
}

TEST_F(RpcClientServerTest, SilentAfterTheRequestIsCallFailed) {
  // The peer holds the connection open and never answers the request; its
  // last read ends when the client gives up and closes.
  ScriptedPeer peer(path_, [](RpcStream& s) {
    Pdu bind = ReadOne(s);
    Send(s, EncodePdu(AckFor(bind)));
    ReadOne(s);
    ReadOne(s);
  });
  RpcClient client = Client();
  client.SetTimeout(200);
  std::uint16_t out = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CallShort(client, 1, &out), RPC_S_CALL_FAILED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(RpcClientServerTest, BigEndianResponseInThreeFragmentsIsReassembled) {
  ScriptedPeer peer(path_, [](RpcStream& s) {
    Pdu bind = ReadOne(s);
    Pdu ack = AckFor(bind);
    ack.header.drep = kBigEndianDataRep;
    Send(s, EncodePdu(ack));
    Pdu request = ReadOne(s);
    std::uint32_t id = request.header.callId;
    Send(s, EncodePdu(ResponseFor(id, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, kBigEndianDataRep,
                                  kPfcFirstFrag)));
    Send(s,
         EncodePdu(ResponseFor(id, {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18}, kBigEndianDataRep, 0)));
    Send(s, EncodePdu(ResponseFor(id, {0x21, 0x22}, kBigEndianDataRep, kPfcLastFrag)));
  });
  RpcClient client = Client();
  ASSERT_EQ(client.Bind(), 0u);
  RpcReply reply;
  ASSERT_EQ(client.Call(0, EncodeNdrShort(3, kLocalDataRep), &reply), 0u);
  ASSERT_EQ(reply.stub.size(), 18u);
  EXPECT_EQ(reply.drep, kBigEndianDataRep);
  std::uint16_t first = 0;
  ASSERT_TRUE(DecodeNdrShort(reply.stub, reply.drep, &first));
  EXPECT_EQ(first, 0x0102);
  EXPECT_EQ(reply.stub[17], 0x22);
}

// The server against clients that misbehave: each is dropped or answered with
// a fault, and a well-behaved client is served afterwards.
TEST_F(RpcClientServerTest, ServerSurvivesBadClients) {
  StartServer();
  auto raw = [this](const std::vector<std::uint8_t>& bytes, Pdu* answer) {
    auto stream = RpcStream::Connect(path_);
    ASSERT_TRUE(stream);
    stream->SendAll(bytes, DeadlineAfter(2000));
    shutdown(stream->Fd(), SHUT_WR);
    std::vector<std::uint8_t> frame;
    ReadResult result = stream->ReadPdu(DeadlineAfter(3000), &frame);
    if (answer && result == ReadResult::kOk) DecodePdu(frame, answer);
    // Otherwise the server closed the connection; it must not have hung.
    EXPECT_NE(result, ReadResult::kTimeout);
  };
  Pdu bind;
  bind.header.type = PduType::kBind;
  bind.body = BindBody{4280, 4280, 0, {ContextElement{0, ServiceInterface(), {NdrSyntax()}}}};
  std::vector<std::uint8_t> bindBytes = EncodePdu(bind);

  raw({1, 2, 3}, nullptr);
  std::vector<std::uint8_t> wrongVersion = bindBytes;
  wrongVersion[0] = 4;
  raw(wrongVersion, nullptr);
  std::vector<std::uint8_t> beyond = bindBytes;
  StoreLe16(&beyond[8], 500);
  raw(beyond, nullptr);
  std::vector<std::uint8_t> unknown = bindBytes;
  unknown[2] = 20;
  raw(unknown, nullptr);

  // A request before any bind is a fault that did not execute.
  Pdu request;
  request.header.type = PduType::kRequest;
  request.header.callId = 4;
  request.body = RequestBody{2, 0, 0, {}, {1, 0}};
  Pdu answer;
  raw(EncodePdu(request), &answer);
  ASSERT_EQ(answer.header.type, PduType::kFault);
  EXPECT_EQ(std::get<FaultBody>(answer.body).status, kNcaProtocolError);
  EXPECT_TRUE(answer.header.flags & kPfcDidNotExecute);

  // A bind offering only another transfer syntax is rejected in the bind_ack.
  Pdu otherSyntax = bind;
  SyntaxId notNdr = NdrSyntax();
  notNdr.major = 1;
  std::get<BindBody>(otherSyntax.body).contexts[0].transferSyntaxes = {notNdr};
  raw(EncodePdu(otherSyntax), &answer);
  ASSERT_EQ(answer.header.type, PduType::kBindAck);
  EXPECT_EQ(std::get<BindAckBody>(answer.body).results.at(0).reason, kReasonTransferSyntaxesNotSupported);

  // A request on a context that was never bound.
  auto stream = RpcStream::Connect(path_);
  ASSERT_TRUE(stream);
  stream->SendAll(bindBytes, DeadlineAfter(2000));
  std::vector<std::uint8_t> frame;
  ASSERT_EQ(stream->ReadPdu(DeadlineAfter(3000), &frame), ReadResult::kOk);
  std::get<RequestBody>(request.body).contextId = 9;
  stream->SendAll(EncodePdu(request), DeadlineAfter(2000));
  ASSERT_EQ(stream->ReadPdu(DeadlineAfter(3000), &frame), ReadResult::kOk);
  ASSERT_EQ(DecodePdu(frame, &answer), 0u);
  EXPECT_EQ(std::get<FaultBody>(answer.body).status, kNcaUnknownInterface);

  // A client that sends half a PDU and stays silent holds nobody else up.
  auto stuck = RpcStream::Connect(path_);
  ASSERT_TRUE(stuck);
  stuck->SendAll(std::span(bindBytes).subspan(0, 20), DeadlineAfter(2000));

  RpcClient client = Client();
  std::uint16_t out = 0;
  EXPECT_EQ(CallShort(client, 41, &out), 0u);
  EXPECT_EQ(out, 42);
}

// A fault names the context of the request it answers; a request flagged
// "maybe" is carried out without an answer, so the next answer read is the
// next call's.
TEST_F(RpcClientServerTest, FaultsCarryTheContextAndMaybeRequestsGetNoAnswer) {
  StartServer();
  auto stream = RpcStream::Connect(path_);
  ASSERT_TRUE(stream);
  Pdu bind;
  bind.header.type = PduType::kBind;
  bind.body = BindBody{4280, 4280, 0, {ContextElement{5, ServiceInterface(), {NdrSyntax()}}}};
  Send(*stream, EncodePdu(bind));
  ASSERT_EQ(ReadOne(*stream).header.type, PduType::kBindAck);

  struct Row {
    std::uint32_t callId;
    std::uint16_t contextId;
    std::uint16_t opnum;
    bool maybe;
    PduType answer;  // kFault or kResponse; nothing for a maybe request
    DWORD status;
  };
  const Row rows[] = {
      {10, 5, 3, true, PduType::kFault, 0},    {11, 5, 3, false, PduType::kFault, kNcaOpRangeError},
      {12, 9, 0, true, PduType::kFault, 0},    {13, 9, 0, false, PduType::kFault, kNcaUnknownInterface},
      {14, 5, 0, true, PduType::kResponse, 0}, {15, 5, 0, false, PduType::kResponse, 0},
  };
  for (const Row& row : rows) {
    Pdu request;
    request.header.type = PduType::kRequest;
    request.header.callId = row.callId;
    request.header.flags = kPfcFirstFrag | kPfcLastFrag | (row.maybe ? kPfcMaybe : 0);
    request.body = RequestBody{2, row.contextId, row.opnum, {}, EncodeNdrShort(1, kLocalDataRep)};
    Send(*stream, EncodePdu(request));
    if (row.maybe) continue;
    const Pdu answer = ReadOne(*stream);
    EXPECT_EQ(answer.header.callId, row.callId);
    ASSERT_EQ(answer.header.type, row.answer) << row.callId;
    if (row.answer == PduType::kFault) {
      EXPECT_EQ(std::get<FaultBody>(answer.body).contextId, row.contextId);
      EXPECT_EQ(std::get<FaultBody>(answer.body).status, row.status);
    }
  }
  EXPECT_EQ(server_.CallsAnswered(), 3u);
}

// Clients that connect and stay silent take every slot; the next client is
// still served, in place of the connection idle longest.
TEST_F(RpcClientServerTest, IdleConnectionsDoNotLockOtherClientsOut) {
  StartServer();
  std::vector<std::unique_ptr<RpcStream>> idle;
  for (int i = 0; i < 40; ++i) {
    idle.push_back(RpcStream::Connect(path_));
    ASSERT_TRUE(idle.back());
  }
  RpcClient client = Client();
  std::uint16_t out = 0;
  EXPECT_EQ(CallShort(client, 1, &out), 0u);
  EXPECT_EQ(out, 2);
  // Which idle connection made room depends on when each serving thread ran;
  // that the new client was served while all of them stayed open is the point.
}

// Random and corrupted byte streams through the client (as the answers to a
// bind and a call) and the server (as a client's PDUs): a status or a closed
// connection, never a crash or a wait beyond the timeout.
TEST(RpcRandomStreamTest, RandomAnswersAndRequestsNeverCrash) {
  std::mt19937 random(4242);
  Pdu bind;
  bind.header.type = PduType::kBind;
  bind.header.callId = 1;
  bind.body = BindBody{4280, 4280, 0, {ContextElement{0, ServiceInterface(), {NdrSyntax()}}}};
  Pdu request;
  request.header.type = PduType::kRequest;
  request.header.callId = 2;
  request.body = RequestBody{2, 0, 0, {}, {1, 0}};
  std::vector<std::uint8_t> serverSeed = EncodePdu(bind);
  std::vector<std::uint8_t> requestBytes = EncodePdu(request);
  serverSeed.insert(serverSeed.end(), requestBytes.begin(), requestBytes.end());
  std::vector<std::uint8_t> clientSeed = EncodePdu(AckFor(bind));
  std::vector<std::uint8_t> responseBytes = EncodePdu(ResponseFor(2, {9, 1}, kLocalDataRep));
  clientSeed.insert(clientSeed.end(), responseBytes.begin(), responseBytes.end());

  auto feed = [](const std::vector<std::uint8_t>& bytes, int fds[2]) {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    ASSERT_EQ(send(fds[1], bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    shutdown(fds[1], SHUT_WR);
  };
  auto start = std::chrono::steady_clock::now();
  int served = 0;
  for (int round = 0; round < 600; ++round) {
    bool toClient = round % 2 == 0;
    std::vector<std::uint8_t> bytes = toClient ? clientSeed : serverSeed;
    int flips = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
    if (random() % 4 == 0) bytes.resize(random() % bytes.size());
    int fds[2];
    feed(bytes, fds);
    if (toClient) {
      RpcClient client("", ServiceInterface());
      client.SetTimeout(100);
      DWORD status = client.BindOver(std::make_unique<RpcStream>(fds[0]));
      if (status == 0) {
        RpcReply reply;
        status = client.Call(0, EncodeNdrShort(1, kLocalDataRep), &reply);
        if (status == 0) ++served;
      }
    } else {
      RpcServer server(ServiceInterface(), TestHandler);
      server.SetIdleTimeout(100);
      server.ServeStream(fds[0]);
    }
    close(fds[1]);
  }
  EXPECT_GT(served, 0);  // some corruptions leave the conversation intact
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace
}  // namespace kivo::test
