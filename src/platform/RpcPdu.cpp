// The connection-oriented DCE/RPC PDU codec; the byte tables are in RpcPdu.h.
// Decoding trusts nothing: every count and length is checked against the bytes
// actually present before it is used.
#include "platform/RpcPdu.h"

#include <cstdio>

#include "platform/RpcBytes.h"

namespace kivo::platform {

namespace {

bool KnownType(std::uint8_t type) {
  return type == 0 || type == 2 || type == 3 || (type >= 11 && type <= 19);
}

void WriteUuid(ByteWriter& w, const Uuid& uuid) {
  w.U32(uuid.timeLow);
  w.U16(uuid.timeMid);
  w.U16(uuid.timeHiAndVersion);
  w.Bytes(uuid.rest);
}

Uuid ReadUuid(ByteReader& r) {
  Uuid uuid;
  uuid.timeLow = r.U32();
  uuid.timeMid = r.U16();
  uuid.timeHiAndVersion = r.U16();
  r.Bytes(uuid.rest.data(), uuid.rest.size());
  return uuid;
}

void WriteSyntax(ByteWriter& w, const SyntaxId& syntax) {
  WriteUuid(w, syntax.uuid);
  w.U32(static_cast<std::uint32_t>(syntax.major) | (static_cast<std::uint32_t>(syntax.minor) << 16));
}

SyntaxId ReadSyntax(ByteReader& r) {
  SyntaxId syntax;
  syntax.uuid = ReadUuid(r);
  std::uint32_t version = r.U32();
  syntax.major = static_cast<std::uint16_t>(version);
  syntax.minor = static_cast<std::uint16_t>(version >> 16);
  return syntax;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool DecodeBind(ByteReader& r, BindBody* body) {
  body->maxXmitFrag = r.U16();
  body->maxRecvFrag = r.U16();
  body->assocGroupId = r.U32();
  std::uint8_t count = r.U8();
  r.Skip(3);
  for (int i = 0; i < count && r.Ok(); ++i) {
    ContextElement element;
    element.contextId = r.U16();
    std::uint8_t syntaxes = r.U8();
    r.Skip(1);
    element.abstractSyntax = ReadSyntax(r);
    // Checked before reserving, so a lying count cannot make a large allocation.
    if (r.Remaining() < static_cast<std::size_t>(syntaxes) * kSyntaxIdSize) return false;
    for (int j = 0; j < syntaxes; ++j) element.transferSyntaxes.push_back(ReadSyntax(r));
    body->contexts.push_back(std::move(element));
  }
  return r.Ok();
}

bool DecodeBindAck(ByteReader& r, BindAckBody* body) {
  body->maxXmitFrag = r.U16();
  body->maxRecvFrag = r.U16();
  body->assocGroupId = r.U32();
  std::uint16_t length = r.U16();
  if (r.Remaining() < length) return false;
  std::span<const std::uint8_t> address = r.Rest().subspan(0, length);
  std::size_t end = 0;
  while (end < address.size() && address[end] != 0) ++end;
  body->secondaryAddress.assign(address.begin(), address.begin() + static_cast<std::ptrdiff_t>(end));
  r.Skip(length);
  r.AlignTo(4);
  std::uint8_t count = r.U8();
  r.Skip(3);
  if (r.Remaining() < static_cast<std::size_t>(count) * (4 + kSyntaxIdSize)) return false;
  for (int i = 0; i < count; ++i) {
    BindResult result;
    result.result = r.U16();
    result.reason = r.U16();
    result.transferSyntax = ReadSyntax(r);
    body->results.push_back(result);
  }
  return r.Ok();
}

bool DecodeBindNak(ByteReader& r, BindNakBody* body) {
  body->rejectReason = r.U16();
  if (!r.Ok()) return false;
  // The version list is optional; a short or padded one is tolerated.
  if (r.Remaining() >= 1) {
    std::uint8_t count = r.U8();
    for (int i = 0; i < count && r.Remaining() >= 2; ++i) {
      std::array<std::uint8_t, 2> version{r.U8(), r.U8()};
      body->versions.push_back(version);
    }
  }
  return true;
}

}  // namespace

bool ParseUuid(const std::string& text, Uuid* out) {
  if (text.size() != 36) return false;
  std::array<std::uint8_t, 16> bytes{};
  std::size_t b = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    int high = HexValue(text[i]);
    int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[b++] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  out->timeLow = LoadBe32(&bytes[0]);
  out->timeMid = LoadBe16(&bytes[4]);
  out->timeHiAndVersion = LoadBe16(&bytes[6]);
  for (std::size_t i = 0; i < 8; ++i) out->rest[i] = bytes[8 + i];
  return true;
}

std::string FormatUuid(const Uuid& uuid) {
  char text[40];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", uuid.timeLow,
                uuid.timeMid, uuid.timeHiAndVersion, uuid.rest[0], uuid.rest[1], uuid.rest[2], uuid.rest[3],
                uuid.rest[4], uuid.rest[5], uuid.rest[6], uuid.rest[7]);
  return text;
}

SyntaxId NdrSyntax() {
  SyntaxId syntax;
  ParseUuid("8a885d04-1ceb-11c9-9fe8-08002b104860", &syntax.uuid);
  syntax.major = 2;
  syntax.minor = 0;
  return syntax;
}

DWORD DecodeHeader(std::span<const std::uint8_t> bytes, PduHeader* header) {
  if (bytes.size() < kPduHeaderSize) return RPC_S_PROTOCOL_ERROR;
  PduHeader h;
  h.versionMajor = bytes[0];
  h.versionMinor = bytes[1];
  if (h.versionMajor != 5 || h.versionMinor != 0) return RPC_S_PROTOCOL_ERROR;
  if (!KnownType(bytes[2])) return RPC_S_PROTOCOL_ERROR;
  h.type = static_cast<PduType>(bytes[2]);
  h.flags = bytes[3];
  for (std::size_t i = 0; i < 4; ++i) h.drep.bytes[i] = bytes[4 + i];
  if (!h.drep.Valid()) return RPC_S_PROTOCOL_ERROR;
  bool le = h.drep.LittleEndian();
  h.fragLength = le ? LoadLe16(&bytes[8]) : LoadBe16(&bytes[8]);
  h.authLength = le ? LoadLe16(&bytes[10]) : LoadBe16(&bytes[10]);
  h.callId = le ? LoadLe32(&bytes[12]) : LoadBe32(&bytes[12]);
  if (h.fragLength < kPduHeaderSize) return RPC_S_PROTOCOL_ERROR;
  // A verifier is its 8-byte header plus auth_length bytes at the end.
  if (h.authLength != 0 && static_cast<std::size_t>(h.authLength) + 8 > h.fragLength - kPduHeaderSize) {
    return RPC_S_PROTOCOL_ERROR;
  }
  *header = h;
  return 0;
}

DWORD DecodePdu(std::span<const std::uint8_t> bytes, Pdu* pdu) {
  PduHeader header;
  if (DecodeHeader(bytes, &header) != 0) return RPC_S_PROTOCOL_ERROR;
  if (bytes.size() != header.fragLength) return RPC_S_PROTOCOL_ERROR;
  std::size_t bodyEnd = header.fragLength;
  if (header.authLength != 0) bodyEnd -= static_cast<std::size_t>(header.authLength) + 8;
  ByteReader r(bytes.subspan(0, bodyEnd), header.drep.LittleEndian());
  r.Skip(kPduHeaderSize);

  PduBody body;
  bool ok = true;
  switch (header.type) {
    case PduType::kBind:
    case PduType::kAlterContext: {
      BindBody b;
      ok = DecodeBind(r, &b);
      body = std::move(b);
      break;
    }
    case PduType::kBindAck:
    case PduType::kAlterContextResp: {
      BindAckBody b;
      ok = DecodeBindAck(r, &b);
      body = std::move(b);
      break;
    }
    case PduType::kBindNak: {
      BindNakBody b;
      ok = DecodeBindNak(r, &b);
      body = std::move(b);
      break;
    }
    case PduType::kRequest: {
      RequestBody b;
      b.allocHint = r.U32();
      b.contextId = r.U16();
      b.opnum = r.U16();
      if (header.flags & kPfcObjectUuid) b.objectUuid = ReadUuid(r);
      ok = r.Ok();
      if (ok) b.stub.assign(r.Rest().begin(), r.Rest().end());
      body = std::move(b);
      break;
    }
    case PduType::kResponse: {
      ResponseBody b;
      b.allocHint = r.U32();
      b.contextId = r.U16();
      b.cancelCount = r.U8();
      r.Skip(1);
      ok = r.Ok();
      if (ok) b.stub.assign(r.Rest().begin(), r.Rest().end());
      body = std::move(b);
      break;
    }
    case PduType::kFault: {
      FaultBody b;
      b.allocHint = r.U32();
      b.contextId = r.U16();
      b.cancelCount = r.U8();
      r.Skip(1);
      b.status = r.U32();
      r.Skip(4);
      ok = r.Ok();
      if (ok) b.stub.assign(r.Rest().begin(), r.Rest().end());
      body = std::move(b);
      break;
    }
    default:
      break;  // bodiless control PDUs
  }
  if (!ok) return RPC_S_PROTOCOL_ERROR;
  pdu->header = header;
  pdu->body = std::move(body);
  return 0;
}

std::vector<std::uint8_t> EncodePdu(const Pdu& pdu) {
  const PduHeader& h = pdu.header;
  bool le = h.drep.LittleEndian();
  std::vector<std::uint8_t> out;
  ByteWriter w(out, le);
  w.U8(h.versionMajor);
  w.U8(h.versionMinor);
  w.U8(static_cast<std::uint8_t>(h.type));
  w.U8(h.flags);
  w.Bytes(h.drep.bytes);
  w.U16(0);  // frag_length, patched below
  w.U16(0);  // auth_length
  w.U32(h.callId);

  if (const auto* b = std::get_if<BindBody>(&pdu.body)) {
    w.U16(b->maxXmitFrag);
    w.U16(b->maxRecvFrag);
    w.U32(b->assocGroupId);
    w.U8(static_cast<std::uint8_t>(b->contexts.size()));
    w.U8(0);
    w.U16(0);
    for (const ContextElement& e : b->contexts) {
      w.U16(e.contextId);
      w.U8(static_cast<std::uint8_t>(e.transferSyntaxes.size()));
      w.U8(0);
      WriteSyntax(w, e.abstractSyntax);
      for (const SyntaxId& s : e.transferSyntaxes) WriteSyntax(w, s);
    }
  } else if (const auto* b = std::get_if<BindAckBody>(&pdu.body)) {
    w.U16(b->maxXmitFrag);
    w.U16(b->maxRecvFrag);
    w.U32(b->assocGroupId);
    if (b->secondaryAddress.empty()) {
      w.U16(0);
    } else {
      w.U16(static_cast<std::uint16_t>(b->secondaryAddress.size() + 1));
      for (char c : b->secondaryAddress) w.U8(static_cast<std::uint8_t>(c));
      w.U8(0);
    }
    w.AlignTo(4);
    w.U8(static_cast<std::uint8_t>(b->results.size()));
    w.U8(0);
    w.U16(0);
    for (const BindResult& r : b->results) {
      w.U16(r.result);
      w.U16(r.reason);
      WriteSyntax(w, r.transferSyntax);
    }
  } else if (const auto* b = std::get_if<BindNakBody>(&pdu.body)) {
    w.U16(b->rejectReason);
    w.U8(static_cast<std::uint8_t>(b->versions.size()));
    for (const auto& v : b->versions) {
      w.U8(v[0]);
      w.U8(v[1]);
    }
  } else if (const auto* b = std::get_if<RequestBody>(&pdu.body)) {
    w.U32(b->allocHint);
    w.U16(b->contextId);
    w.U16(b->opnum);
    if (h.flags & kPfcObjectUuid) WriteUuid(w, b->objectUuid);
    w.Bytes(b->stub);
  } else if (const auto* b = std::get_if<ResponseBody>(&pdu.body)) {
    w.U32(b->allocHint);
    w.U16(b->contextId);
    w.U8(b->cancelCount);
    w.U8(0);
    w.Bytes(b->stub);
  } else if (const auto* b = std::get_if<FaultBody>(&pdu.body)) {
    w.U32(b->allocHint);
    w.U16(b->contextId);
    w.U8(b->cancelCount);
    w.U8(0);
    w.U32(b->status);
    w.U32(0);
    w.Bytes(b->stub);
  }
  if (out.size() > 0xFFFF) return {};
  auto length = static_cast<std::uint16_t>(out.size());
  le ? StoreLe16(&out[8], length) : StoreBe16(&out[8], length);
  return out;
}

std::vector<std::uint8_t> EncodeNdrShort(std::uint16_t value, const DataRep& drep) {
  std::vector<std::uint8_t> stub(2);
  drep.LittleEndian() ? StoreLe16(stub.data(), value) : StoreBe16(stub.data(), value);
  return stub;
}

bool DecodeNdrShort(std::span<const std::uint8_t> stub, const DataRep& drep, std::uint16_t* value) {
  if (stub.size() < 2) return false;
  *value = drep.LittleEndian() ? LoadLe16(stub.data()) : LoadBe16(stub.data());
  return true;
}

}  // namespace kivo::platform
