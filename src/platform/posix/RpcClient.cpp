// The client side of a local DCE/RPC association; the statuses it returns are
// listed in RpcClient.h.
#include "platform/posix/RpcClient.h"

#include <algorithm>

namespace kivo::platform {

namespace {

// How a failed read maps to a status, before and after the request went out.
DWORD ReadFailure(ReadResult result, bool requestSent) {
  if (result == ReadResult::kTruncated || result == ReadResult::kMalformed) return RPC_S_PROTOCOL_ERROR;
  return requestSent ? RPC_S_CALL_FAILED : RPC_S_CALL_FAILED_DNE;
}

DWORD BindAckStatus(const BindAckBody& ack) {
  if (ack.results.empty()) return RPC_S_PROTOCOL_ERROR;
  const BindResult& result = ack.results.front();
  if (result.result == kResultAcceptance) {
    // An acceptance must name the one transfer syntax that was offered.
    return result.transferSyntax == NdrSyntax() ? 0 : RPC_S_PROTOCOL_ERROR;
  }
  if (result.result == kResultProviderRejection) {
    if (result.reason == kReasonAbstractSyntaxNotSupported) return RPC_S_UNKNOWN_IF;
    if (result.reason == kReasonTransferSyntaxesNotSupported) return RPC_S_UNSUPPORTED_TRANS_SYN;
  }
  return RPC_S_CALL_FAILED_DNE;
}

}  // namespace

RpcClient::RpcClient(std::string endpointPath, SyntaxId interface)
    : endpointPath_(std::move(endpointPath)), interface_(interface) {}

RpcClient::~RpcClient() = default;

void RpcClient::Release() {
  stream_.reset();
}

DWORD RpcClient::Bind() {
  Release();
  std::unique_ptr<RpcStream> stream = RpcStream::Connect(endpointPath_);
  if (!stream) return RPC_S_SERVER_UNAVAILABLE;
  return BindOver(std::move(stream));
}

DWORD RpcClient::BindOver(std::unique_ptr<RpcStream> stream) {
  stream_ = std::move(stream);

  Pdu bind;
  bind.header.type = PduType::kBind;
  bind.header.drep = drep_;
  bind.header.callId = nextCallId_++;
  BindBody body;
  body.maxXmitFrag = maxFragment_;
  body.maxRecvFrag = maxFragment_;
  body.contexts.push_back(ContextElement{0, interface_, {NdrSyntax()}});
  bind.body = std::move(body);

  DWORD status = 0;
  std::vector<std::uint8_t> frame;
  Pdu answer;
  const RpcDeadline deadline = DeadlineAfter(timeoutMs_);
  if (!stream_->SendAll(EncodePdu(bind), deadline)) {
    status = RPC_S_CALL_FAILED_DNE;
  } else if (ReadResult read = stream_->ReadPdu(deadline, &frame); read != ReadResult::kOk) {
    status = ReadFailure(read, false);
  } else if (DecodePdu(frame, &answer) != 0) {
    status = RPC_S_PROTOCOL_ERROR;
  } else if (const auto* ack = std::get_if<BindAckBody>(&answer.body);
             ack && answer.header.type == PduType::kBindAck) {
    if (answer.header.callId != bind.header.callId) {
      status = RPC_S_PROTOCOL_ERROR;
    } else if ((status = BindAckStatus(*ack)) == 0) {
      if (ack->maxRecvFrag < 32) {
        status = RPC_S_PROTOCOL_ERROR;
      } else {
        xmitFragment_ = std::min(maxFragment_, ack->maxRecvFrag);
      }
    }
  } else if (const auto* nak = std::get_if<BindNakBody>(&answer.body)) {
    status = nak->rejectReason == kRejectLocalLimitExceeded ? RPC_S_SERVER_TOO_BUSY : RPC_S_CALL_FAILED_DNE;
  } else if (const auto* fault = std::get_if<FaultBody>(&answer.body)) {
    status = fault->status != 0 ? fault->status : RPC_S_CALL_FAILED_DNE;
  } else {
    status = RPC_S_PROTOCOL_ERROR;
  }
  if (status != 0) Release();
  return status;
}

DWORD RpcClient::Call(std::uint16_t opnum, std::span<const std::uint8_t> stub, RpcReply* reply) {
  if (!stream_) return RPC_S_CALL_FAILED_DNE;
  std::uint32_t callId = nextCallId_++;
  // One deadline for the whole call, so an answer trickled out in many
  // fragments cannot hold the caller longer than a silent one.
  const RpcDeadline deadline = DeadlineAfter(timeoutMs_);

  // Every fragment but the last carries a multiple of 8 stub bytes, so NDR
  // alignment holds across the joins.
  std::size_t chunk = std::max<std::size_t>(8, (xmitFragment_ - kRequestHeaderSize) & ~std::size_t{7});
  std::size_t offset = 0;
  do {
    std::size_t length = std::min(chunk, stub.size() - offset);
    Pdu request;
    request.header.type = PduType::kRequest;
    request.header.drep = drep_;
    request.header.callId = callId;
    request.header.flags = 0;
    if (offset == 0) request.header.flags |= kPfcFirstFrag;
    if (offset + length == stub.size()) request.header.flags |= kPfcLastFrag;
    RequestBody body;
    body.allocHint = static_cast<std::uint32_t>(stub.size() - offset);
    body.contextId = 0;
    body.opnum = opnum;
    body.stub.assign(stub.begin() + static_cast<std::ptrdiff_t>(offset),
                     stub.begin() + static_cast<std::ptrdiff_t>(offset + length));
    request.body = std::move(body);
    if (!stream_->SendAll(EncodePdu(request), deadline)) {
      Release();
      return RPC_S_CALL_FAILED;
    }
    offset += length;
  } while (offset < stub.size());

  RpcReply result;
  bool first = true;
  for (;;) {
    std::vector<std::uint8_t> frame;
    Pdu answer;
    DWORD status = 0;
    if (ReadResult read = stream_->ReadPdu(deadline, &frame); read != ReadResult::kOk) {
      status = ReadFailure(read, true);
    } else if (DecodePdu(frame, &answer) != 0) {
      status = RPC_S_PROTOCOL_ERROR;
    } else if (answer.header.type == PduType::kShutdown) {
      status = RPC_S_CALL_FAILED;
    } else if (answer.header.callId != callId) {
      status = RPC_S_PROTOCOL_ERROR;
    } else if (const auto* fault = std::get_if<FaultBody>(&answer.body)) {
      status = fault->status != 0 ? fault->status : RPC_S_CALL_FAILED;
    } else if (const auto* response = std::get_if<ResponseBody>(&answer.body)) {
      bool isFirst = (answer.header.flags & kPfcFirstFrag) != 0;
      if (response->contextId != 0 || isFirst != first || (!first && !(answer.header.drep == result.drep)) ||
          result.stub.size() + response->stub.size() > kMaxRpcStub) {
        status = RPC_S_PROTOCOL_ERROR;
      } else {
        if (first) result.drep = answer.header.drep;
        first = false;
        result.stub.insert(result.stub.end(), response->stub.begin(), response->stub.end());
        if (answer.header.flags & kPfcLastFrag) {
          *reply = std::move(result);
          return 0;
        }
        continue;
      }
    } else {
      status = RPC_S_PROTOCOL_ERROR;
    }
    Release();
    return status;
  }
}

}  // namespace kivo::platform
