// The DCE/RPC PDU codec: exact bytes of the PDUs this program sends, round
// trips in both byte orders, and every malformed input refused without a crash.
#include "platform/RpcPdu.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/RpcBytes.h"
#include "platform/ServiceRpc.h"

namespace kivo::test {
namespace {

using namespace kivo::platform;

Pdu ServiceBind(const DataRep& drep) {
  Pdu pdu;
  pdu.header.type = PduType::kBind;
  pdu.header.drep = drep;
  pdu.header.callId = 7;
  BindBody body;
  body.maxXmitFrag = 4280;
  body.maxRecvFrag = 4280;
  body.contexts.push_back(ContextElement{0, ServiceInterface(), {NdrSyntax()}});
  pdu.body = body;
  return pdu;
}

TEST(RpcPduTest, BindIsLaidOutLittleEndian) {
  std::vector<std::uint8_t> bytes = EncodePdu(ServiceBind(kLocalDataRep));
  const std::vector<std::uint8_t> expected = {0x05, 0x00, 0x0b, 0x03, 0x10, 0x00, 0x00, 0x00,
                                              0x48, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00,  // header
                                              0xb8, 0x10, 0xb8, 0x10, 0x00, 0x00, 0x00, 0x00,
                                              0x01, 0x00, 0x00, 0x00,  // frags, group, 1 context
                                              0x00, 0x00, 0x01, 0x00,  // context 0, 1 syntax
                                              0x90, 0x92, 0x3a, 0xc4, 0x30, 0xfc, 0xd3, 0x11,
                                              0xa4, 0x54, 0x00, 0x50, 0xda, 0xcf, 0xfd, 0xd7,  // interface
                                              0x01, 0x00, 0x00, 0x00,                          // v1.0
                                              0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11,
                                              0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60,  // NDR
                                              0x02, 0x00, 0x00, 0x00};                         // v2.0
  EXPECT_EQ(bytes, expected);
}

TEST(RpcPduTest, BindIsLaidOutBigEndian) {
  std::vector<std::uint8_t> bytes = EncodePdu(ServiceBind(kBigEndianDataRep));
  ASSERT_EQ(bytes.size(), 72u);
  EXPECT_EQ(bytes[4], 0x00);
  EXPECT_EQ(LoadBe16(&bytes[8]), 72);
  EXPECT_EQ(LoadBe32(&bytes[12]), 7u);
  const std::vector<std::uint8_t> interface(bytes.begin() + 32, bytes.begin() + 52);
  const std::vector<std::uint8_t> expected = {0xc4, 0x3a, 0x92, 0x90, 0xfc, 0x30, 0x11, 0xd3, 0xa4, 0x54,
                                              0x00, 0x50, 0xda, 0xcf, 0xfd, 0xd7, 0x00, 0x00, 0x00, 0x01};
  EXPECT_EQ(interface, expected);
}

TEST(RpcPduTest, UuidTextRoundTrips) {
  Uuid uuid;
  ASSERT_TRUE(ParseUuid("C43A9290-fc30-11d3-a454-0050dacffdd7", &uuid));
  EXPECT_EQ(FormatUuid(uuid), "c43a9290-fc30-11d3-a454-0050dacffdd7");
  EXPECT_FALSE(ParseUuid("c43a9290-fc30-11d3-a454-0050dacffdd", &uuid));
  EXPECT_FALSE(ParseUuid("c43a9290xfc30-11d3-a454-0050dacffdd7", &uuid));
  EXPECT_FALSE(ParseUuid("g43a9290-fc30-11d3-a454-0050dacffdd7", &uuid));
}

class RpcPduRoundTrip : public ::testing::TestWithParam<DataRep> {};

TEST_P(RpcPduRoundTrip, EveryBodyRoundTrips) {
  DataRep drep = GetParam();
  std::vector<Pdu> pdus;
  pdus.push_back(ServiceBind(drep));

  Pdu ack;
  ack.header.type = PduType::kBindAck;
  BindAckBody ackBody;
  ackBody.maxXmitFrag = 1024;
  ackBody.maxRecvFrag = 2048;
  ackBody.assocGroupId = 0x12345678;
  ackBody.secondaryAddress = "KIVO";
  ackBody.results.push_back(BindResult{kResultAcceptance, 0, NdrSyntax()});
  ackBody.results.push_back(BindResult{kResultProviderRejection, kReasonAbstractSyntaxNotSupported, {}});
  ack.body = ackBody;
  pdus.push_back(ack);

  Pdu nak;
  nak.header.type = PduType::kBindNak;
  nak.body = BindNakBody{kRejectProtocolVersionNotSupported, {{5, 0}}};
  pdus.push_back(nak);

  Pdu request;
  request.header.type = PduType::kRequest;
  request.header.flags = kPfcFirstFrag | kPfcObjectUuid;
  RequestBody requestBody;
  requestBody.allocHint = 3;
  requestBody.contextId = 2;
  requestBody.opnum = 1;
  ParseUuid("00112233-4455-6677-8899-aabbccddeeff", &requestBody.objectUuid);
  requestBody.stub = {1, 2, 3};
  request.body = requestBody;
  pdus.push_back(request);

  Pdu response;
  response.header.type = PduType::kResponse;
  response.body = ResponseBody{2, 0, 1, {0x34, 0x12}};
  pdus.push_back(response);

  Pdu fault;
  fault.header.type = PduType::kFault;
  fault.body = FaultBody{0, 0, 0, kNcaOpRangeError, {}};
  pdus.push_back(fault);

  Pdu shutdown;
  shutdown.header.type = PduType::kShutdown;
  pdus.push_back(shutdown);

  for (Pdu& pdu : pdus) {
    pdu.header.drep = drep;
    std::vector<std::uint8_t> bytes = EncodePdu(pdu);
    Pdu back;
    ASSERT_EQ(DecodePdu(bytes, &back), 0u) << static_cast<int>(pdu.header.type);
    EXPECT_EQ(back.header.type, pdu.header.type);
    EXPECT_EQ(back.header.fragLength, bytes.size());
    EXPECT_EQ(back.header.drep, drep);
    EXPECT_EQ(back.body.index(), pdu.body.index());
    // Encoding what was decoded gives the same bytes.
    EXPECT_EQ(EncodePdu(back), bytes);
  }

  Pdu back;
  ASSERT_EQ(DecodePdu(EncodePdu(pdus[1]), &back), 0u);
  const auto& decodedAck = std::get<BindAckBody>(back.body);
  EXPECT_EQ(decodedAck.secondaryAddress, "KIVO");
  EXPECT_EQ(decodedAck.assocGroupId, 0x12345678u);
  ASSERT_EQ(decodedAck.results.size(), 2u);
  EXPECT_EQ(decodedAck.results[0].transferSyntax, NdrSyntax());
  EXPECT_EQ(decodedAck.results[1].reason, kReasonAbstractSyntaxNotSupported);

  ASSERT_EQ(DecodePdu(EncodePdu(pdus[3]), &back), 0u);
  EXPECT_EQ(std::get<RequestBody>(back.body).objectUuid, requestBody.objectUuid);
  EXPECT_EQ(std::get<RequestBody>(back.body).stub, requestBody.stub);

  ASSERT_EQ(DecodePdu(EncodePdu(pdus[5]), &back), 0u);
  EXPECT_EQ(std::get<FaultBody>(back.body).status, kNcaOpRangeError);
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, RpcPduRoundTrip,
                         ::testing::Values(kLocalDataRep, kBigEndianDataRep));

TEST(RpcPduTest, BindAckAddressIsPaddedToFourBytes) {
  Pdu ack;
  ack.header.type = PduType::kBindAck;
  BindAckBody body;
  body.secondaryAddress = "KIVO";  // 5 bytes with the NUL: 26..30, padded to 32
  body.results.push_back(BindResult{kResultAcceptance, 0, NdrSyntax()});
  ack.body = body;
  std::vector<std::uint8_t> bytes = EncodePdu(ack);
  ASSERT_EQ(bytes.size(), 60u);
  EXPECT_EQ(LoadLe16(&bytes[24]), 5);
  EXPECT_EQ(bytes[30], 0);
  EXPECT_EQ(bytes[31], 0);
  EXPECT_EQ(bytes[32], 1);  // n_results
}

TEST(RpcPduTest, NdrShortFollowsTheRepresentation) {
  EXPECT_EQ(EncodeNdrShort(0x0109, kLocalDataRep), (std::vector<std::uint8_t>{0x09, 0x01}));
  EXPECT_EQ(EncodeNdrShort(0x0109, kBigEndianDataRep), (std::vector<std::uint8_t>{0x01, 0x09}));
  std::uint16_t value = 0xAAAA;
  std::vector<std::uint8_t> stub = {0x01, 0x09};
  ASSERT_TRUE(DecodeNdrShort(stub, kBigEndianDataRep, &value));
  EXPECT_EQ(value, 0x0109);
  ASSERT_TRUE(DecodeNdrShort(stub, kLocalDataRep, &value));
  EXPECT_EQ(value, 0x0901);
  std::vector<std::uint8_t> shortStub = {0x01};
  value = 0xAAAA;
  EXPECT_FALSE(DecodeNdrShort(shortStub, kLocalDataRep, &value));
  EXPECT_EQ(value, 0xAAAA);
}

TEST(RpcPduTest, AuthVerifierIsCutFromTheStub) {
  Pdu response;
  response.header.type = PduType::kResponse;
  response.body = ResponseBody{0, 0, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
  std::vector<std::uint8_t> bytes = EncodePdu(response);
  StoreLe16(&bytes[10], 4);  // the last 8 + 4 bytes are a verifier
  Pdu back;
  ASSERT_EQ(DecodePdu(bytes, &back), 0u);
  EXPECT_EQ(std::get<ResponseBody>(back.body).stub, (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

struct BadPdu {
  const char* what;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> Valid() {
  return EncodePdu(ServiceBind(kLocalDataRep));
}

std::vector<BadPdu> BadPdus() {
  std::vector<BadPdu> cases;
  auto edit = [](auto change) {
    std::vector<std::uint8_t> bytes = Valid();
    change(bytes);
    return bytes;
  };
  cases.push_back({"empty", {}});
  cases.push_back({"shorter than a header", {0x05, 0x00, 0x0b, 0x03, 0x10, 0, 0, 0, 0x10, 0}});
  cases.push_back({"version 4", edit([](auto& b) { b[0] = 4; })});
  cases.push_back({"minor version 1", edit([](auto& b) { b[1] = 1; })});
  cases.push_back({"connectionless type 1", edit([](auto& b) { b[2] = 1; })});
  cases.push_back({"type 20", edit([](auto& b) { b[2] = 20; })});
  cases.push_back({"type 255", edit([](auto& b) { b[2] = 255; })});
  cases.push_back({"integer format 2", edit([](auto& b) { b[4] = 0x20; })});
  cases.push_back({"character format 2", edit([](auto& b) { b[4] = 0x12; })});
  cases.push_back({"float format 4", edit([](auto& b) { b[5] = 4; })});
  cases.push_back({"frag length beyond the data", edit([](auto& b) { StoreLe16(&b[8], 200); })});
  cases.push_back({"frag length short of the data", edit([](auto& b) { StoreLe16(&b[8], 40); })});
  cases.push_back({"frag length below a header", edit([](auto& b) { StoreLe16(&b[8], 8); })});
  cases.push_back({"auth length beyond the body", edit([](auto& b) { StoreLe16(&b[10], 60); })});
  cases.push_back({"bind body cut", edit([](auto& b) {
                     b.resize(40);
                     StoreLe16(&b[8], 40);
                   })});
  cases.push_back({"transfer syntax count beyond the data", edit([](auto& b) { b[30] = 255; })});
  cases.push_back({"context count beyond the data", edit([](auto& b) { b[24] = 200; })});

  Pdu ack;
  ack.header.type = PduType::kBindAck;
  BindAckBody ackBody;
  ackBody.secondaryAddress = "KIVO";
  ackBody.results.push_back(BindResult{kResultAcceptance, 0, NdrSyntax()});
  ack.body = ackBody;
  std::vector<std::uint8_t> ackBytes = EncodePdu(ack);
  std::vector<std::uint8_t> longAddress = ackBytes;
  StoreLe16(&longAddress[24], 500);
  cases.push_back({"bind_ack address beyond the data", longAddress});
  std::vector<std::uint8_t> manyResults = ackBytes;
  manyResults[32] = 9;
  cases.push_back({"bind_ack result count beyond the data", manyResults});

  std::vector<std::uint8_t> request = {0x05, 0x00, 0x00, 0x03, 0x10, 0, 0, 0, 20, 0,
                                       0,    0,    1,    0,    0,    0, 0, 0, 0,  0};
  cases.push_back({"request body cut", request});
  std::vector<std::uint8_t> objectRequest = {0x05, 0x00, 0x00, 0x83, 0x10, 0, 0, 0, 24, 0, 0, 0,
                                             1,    0,    0,    0,    0,    0, 0, 0, 0,  0, 0, 0};
  cases.push_back({"request without its object UUID", objectRequest});
  std::vector<std::uint8_t> fault = {0x05, 0x00, 0x03, 0x03, 0x10, 0, 0, 0, 28, 0, 0, 0, 1, 0,
                                     0,    0,    0,    0,    0,    0, 0, 0, 0,  0, 0, 0, 0, 0};
  cases.push_back({"fault body cut", fault});
  std::vector<std::uint8_t> nak = {0x05, 0x00, 0x0d, 0x03, 0x10, 0, 0, 0, 17, 0, 0, 0, 1, 0, 0, 0, 0};
  cases.push_back({"bind_nak without its reason", nak});
  return cases;
}

TEST(RpcPduTest, MalformedPdusAreProtocolErrors) {
  for (const BadPdu& bad : BadPdus()) {
    Pdu pdu;
    EXPECT_EQ(DecodePdu(bad.bytes, &pdu), RPC_S_PROTOCOL_ERROR) << bad.what;
  }
}

TEST(RpcPduTest, HeaderAloneIsCheckedBeforeTheBodyIsRead) {
  std::vector<std::uint8_t> bytes = Valid();
  PduHeader header;
  ASSERT_EQ(DecodeHeader(std::span(bytes).subspan(0, 16), &header), 0u);
  EXPECT_EQ(header.fragLength, 72);
  EXPECT_EQ(header.callId, 7u);
  bytes[0] = 6;
  EXPECT_EQ(DecodeHeader(bytes, &header), RPC_S_PROTOCOL_ERROR);
}

// Random bytes and random corruptions of valid PDUs: a status, never a
// crash; whatever decodes also encodes and decodes again.
TEST(RpcPduTest, RandomBytesNeverCrashTheDecoder) {
  std::mt19937 random(12345);
  std::vector<std::vector<std::uint8_t>> seeds = {Valid(), EncodePdu(ServiceBind(kBigEndianDataRep))};
  for (const BadPdu& bad : BadPdus()) seeds.push_back(bad.bytes);
  int decoded = 0;
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::uint8_t> bytes;
    if (round % 2 == 0) {
      bytes.resize(random() % 128);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
      if (bytes.size() >= 16) {
        bytes[0] = 5;
        bytes[1] = 0;
        bytes[4] = (random() % 2) ? 0x10 : 0x00;
        bytes[2] = static_cast<std::uint8_t>(random() % 20);
        bool le = bytes[4] == 0x10;
        le ? StoreLe16(&bytes[8], static_cast<std::uint16_t>(bytes.size()))
           : StoreBe16(&bytes[8], static_cast<std::uint16_t>(bytes.size()));
      }
    } else {
      bytes = seeds[random() % seeds.size()];
      int flips = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < flips && !bytes.empty(); ++i)
        bytes[random() % bytes.size()] ^= (1u << (random() % 8));
    }
    Pdu pdu;
    DWORD status = DecodePdu(bytes, &pdu);
    ASSERT_TRUE(status == 0 || status == RPC_S_PROTOCOL_ERROR);
    if (status == 0) {
      ++decoded;
      Pdu again;
      EXPECT_EQ(DecodePdu(EncodePdu(pdu), &again), 0u);
      EXPECT_EQ(again.header.type, pdu.header.type);
    }
  }
  EXPECT_GT(decoded, 100);  // the generator does reach the body decoders
}

}  // namespace
}  // namespace kivo::test
