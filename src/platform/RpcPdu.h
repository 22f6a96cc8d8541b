// RpcPdu: the connection-oriented DCE/RPC 5.0 PDUs spoken on the local RPC
// endpoints (bind, bind_ack, bind_nak, alter_context(_resp), request,
// response, fault and the bodiless control PDUs), encoded and decoded in
// either byte order, plus the NDR helpers for the stubs this program sends.
// Used by RpcClient and RpcServer; tests and the fuzz target use it directly.
//
// Every multi-byte field is written in the byte order named by the sender's
// packed_drep and read in the byte order the PDU itself declares.
//
// Common header, 16 bytes:
//   off size field
//    0   1   rpc_vers             5
//    1   1   rpc_vers_minor       0
//    2   1   PTYPE                PduType
//    3   1   pfc_flags            kPfcFirstFrag | kPfcLastFrag | ...
//    4   4   packed_drep          [0] high nibble 1 little-endian / 0 big-endian, low nibble 0 ASCII / 1
//    EBCDIC
//                                 [1] float: 0 IEEE, 1 VAX, 2 Cray, 3 IBM; [2] [3] zero
//    8   2   frag_length          the whole PDU, header included
//   10   2   auth_length          verifier length (the verifier and its 8-byte header end the PDU)
//   12   4   call_id
//
// Syntax identifier (p_syntax_id_t), 20 bytes:
//    0   4   time_low   2 time_mid   2 time_hi_and_version   8 clock_seq and node (as is)
//   16   4   version              major in the low 16 bits, minor in the high 16 bits
//
// bind (11) and alter_context (14), from offset 16:
//   16   2   max_xmit_frag        18  2  max_recv_frag       20  4  assoc_group_id
//   24   1   n_context_elem       25  1  reserved            26  2  reserved2
//   28   ..  per element: 2 p_cont_id, 1 n_transfer_syn, 1 reserved,
//                         20 abstract syntax, 20 x n_transfer_syn transfer syntaxes
//
// bind_ack (12) and alter_context_resp (15), from offset 16:
//   16   2   max_xmit_frag        18  2  max_recv_frag       20  4  assoc_group_id
//   24   2   sec_addr length n (NUL included)                26  n  sec_addr characters
//   ..       zero padding to a multiple of 4 from the start of the PDU
//   ..   1   n_results, 1 reserved, 2 reserved2
//   ..   per result: 2 result (0 acceptance, 1 user rejection, 2 provider rejection),
//                    2 reason, 20 transfer syntax
//
// bind_nak (13), from offset 16:
//   16   2   provider_reject_reason
//   18   1   n_protocols (optional)   19  2 x n  rpc_vers, rpc_vers_minor
//
// request (0):   16 4 alloc_hint, 20 2 p_cont_id, 22 2 opnum,
//                24 16 object UUID (only with kPfcObjectUuid), then stub data
// response (2):  16 4 alloc_hint, 20 2 p_cont_id, 22 1 cancel_count, 23 1 reserved, 24 stub data
// fault (3):     16 4 alloc_hint, 20 2 p_cont_id, 22 1 cancel_count, 23 1 reserved,
//                24 4 status, 28 4 reserved, 32 stub data
// auth3 (16), shutdown (17), co_cancel (18), orphaned (19): no body this program reads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/Win32Types.h"

namespace kivo::platform {

enum class PduType : std::uint8_t {
  kRequest = 0,
  kResponse = 2,
  kFault = 3,
  kBind = 11,
  kBindAck = 12,
  kBindNak = 13,
  kAlterContext = 14,
  kAlterContextResp = 15,
  kAuth3 = 16,
  kShutdown = 17,
  kCoCancel = 18,
  kOrphaned = 19,
};

constexpr std::uint8_t kPfcFirstFrag = 0x01;
constexpr std::uint8_t kPfcLastFrag = 0x02;
constexpr std::uint8_t kPfcPendingCancel = 0x04;
constexpr std::uint8_t kPfcConcMpx = 0x10;
constexpr std::uint8_t kPfcDidNotExecute = 0x20;
constexpr std::uint8_t kPfcMaybe = 0x40;
constexpr std::uint8_t kPfcObjectUuid = 0x80;

constexpr std::size_t kPduHeaderSize = 16;
constexpr std::size_t kRequestHeaderSize = 24;  // without an object UUID
constexpr std::size_t kResponseHeaderSize = 24;
constexpr std::size_t kFaultHeaderSize = 32;
constexpr std::size_t kSyntaxIdSize = 20;

// Bind results and reasons.
constexpr std::uint16_t kResultAcceptance = 0;
constexpr std::uint16_t kResultUserRejection = 1;
constexpr std::uint16_t kResultProviderRejection = 2;
constexpr std::uint16_t kReasonNotSpecified = 0;
constexpr std::uint16_t kReasonAbstractSyntaxNotSupported = 1;
constexpr std::uint16_t kReasonTransferSyntaxesNotSupported = 2;
constexpr std::uint16_t kReasonLocalLimitExceeded = 3;

// bind_nak reasons.
constexpr std::uint16_t kRejectNotSpecified = 0;
constexpr std::uint16_t kRejectTemporaryCongestion = 1;
constexpr std::uint16_t kRejectLocalLimitExceeded = 2;
constexpr std::uint16_t kRejectProtocolVersionNotSupported = 4;

// Fault statuses a server sends (network computing architecture codes).
constexpr DWORD kNcaOpRangeError = 0x1C010002;
constexpr DWORD kNcaUnknownInterface = 0x1C010003;
constexpr DWORD kNcaProtocolError = 0x1C01000B;

// The data representation label of a PDU (packed_drep).
struct DataRep {
  std::array<std::uint8_t, 4> bytes{0x10, 0x00, 0x00, 0x00};

  bool LittleEndian() const { return (bytes[0] >> 4) == 1; }
  // The integer, character and floating-point formats are ones that exist.
  bool Valid() const { return (bytes[0] >> 4) <= 1 && (bytes[0] & 0x0F) <= 1 && bytes[1] <= 3; }
  bool operator==(const DataRep&) const = default;
};
// Little-endian ASCII IEEE: what this machine writes.
constexpr DataRep kLocalDataRep{{0x10, 0x00, 0x00, 0x00}};
constexpr DataRep kBigEndianDataRep{{0x00, 0x00, 0x00, 0x00}};

struct Uuid {
  std::uint32_t timeLow = 0;
  std::uint16_t timeMid = 0;
  std::uint16_t timeHiAndVersion = 0;
  std::array<std::uint8_t, 8> rest{};
  bool operator==(const Uuid&) const = default;
};
// Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx"; false when malformed.
bool ParseUuid(const std::string& text, Uuid* out);
std::string FormatUuid(const Uuid& uuid);

struct SyntaxId {
  Uuid uuid;
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  bool operator==(const SyntaxId&) const = default;
};
// NDR 8a885d04-1ceb-11c9-9fe8-08002b104860 version 2.0.
SyntaxId NdrSyntax();

struct PduHeader {
  std::uint8_t versionMajor = 5;
  std::uint8_t versionMinor = 0;
  PduType type = PduType::kRequest;
  std::uint8_t flags = kPfcFirstFrag | kPfcLastFrag;
  DataRep drep = kLocalDataRep;
  std::uint16_t fragLength = 0;  // filled in by EncodePdu
  std::uint16_t authLength = 0;
  std::uint32_t callId = 0;
};

struct ContextElement {
  std::uint16_t contextId = 0;
  SyntaxId abstractSyntax;
  std::vector<SyntaxId> transferSyntaxes;
};

// bind and alter_context.
struct BindBody {
  std::uint16_t maxXmitFrag = 4280;
  std::uint16_t maxRecvFrag = 4280;
  std::uint32_t assocGroupId = 0;
  std::vector<ContextElement> contexts;
};

struct BindResult {
  std::uint16_t result = kResultAcceptance;
  std::uint16_t reason = 0;
  SyntaxId transferSyntax;
};

// bind_ack and alter_context_resp.
struct BindAckBody {
  std::uint16_t maxXmitFrag = 4280;
  std::uint16_t maxRecvFrag = 4280;
  std::uint32_t assocGroupId = 0;
  std::string secondaryAddress;  // without the NUL
  std::vector<BindResult> results;
};

struct BindNakBody {
  std::uint16_t rejectReason = kRejectNotSpecified;
  std::vector<std::array<std::uint8_t, 2>> versions;
};

struct RequestBody {
  std::uint32_t allocHint = 0;
  std::uint16_t contextId = 0;
  std::uint16_t opnum = 0;
  Uuid objectUuid;  // meaningful only with kPfcObjectUuid
  std::vector<std::uint8_t> stub;
};

struct ResponseBody {
  std::uint32_t allocHint = 0;
  std::uint16_t contextId = 0;
  std::uint8_t cancelCount = 0;
  std::vector<std::uint8_t> stub;
};

struct FaultBody {
  std::uint32_t allocHint = 0;
  std::uint16_t contextId = 0;
  std::uint8_t cancelCount = 0;
  DWORD status = 0;
  std::vector<std::uint8_t> stub;
};

// monostate: a PDU without a body this program reads (auth3, shutdown,
// co_cancel, orphaned).
using PduBody =
    std::variant<std::monostate, BindBody, BindAckBody, BindNakBody, RequestBody, ResponseBody, FaultBody>;

struct Pdu {
  PduHeader header;
  PduBody body;
};

// Checks the first 16 bytes: version 5.0, a connection-oriented PDU type, a
// data representation that exists, a fragment length of at least the header
// and an authentication length that fits in it. 0 or RPC_S_PROTOCOL_ERROR.
DWORD DecodeHeader(std::span<const std::uint8_t> bytes, PduHeader* header);

// Decodes exactly one PDU: `bytes` must be exactly frag_length long and the
// body must fit the type. 0 or RPC_S_PROTOCOL_ERROR; never reads outside `bytes`.
DWORD DecodePdu(std::span<const std::uint8_t> bytes, Pdu* pdu);

// Encodes in the byte order of pdu.header.drep; frag_length is computed and
// auth_length written as 0 (no authentication is used). The body must match
// header.type. An encoding longer than 65535 bytes yields an empty vector.
std::vector<std::uint8_t> EncodePdu(const Pdu& pdu);

// NDR 16-bit integer stubs (procedure 0's argument and result).
std::vector<std::uint8_t> EncodeNdrShort(std::uint16_t value, const DataRep& drep);
// False when the stub is shorter than 2 bytes.
bool DecodeNdrShort(std::span<const std::uint8_t> stub, const DataRep& drep, std::uint16_t* value);

}  // namespace kivo::platform
