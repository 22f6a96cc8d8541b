// The emulated device's answers: parameter values and descriptors built from
// the world, faults, requests it does not expect, and the request record.
#include "emulator/World.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>

#include "controller/ControllerSet.h"
#include "emulator/WorldFile.h"
#include "platform/DeviceIo.h"

namespace kivo::emulator {
namespace {

using namespace kivo::request;

Bytes Request(std::size_t size, std::uint8_t opcode, std::uint32_t id = 0) {
  Bytes request(size, 0);
  PutU32(&request[0], 28);
  std::memcpy(&request[4], kSignature.data(), 8);
  PutU32(&request[12], 60);
  PutU32(&request[24], static_cast<std::uint32_t>(size - 28));
  PutU32(&request[28], id);
  request[32] = opcode;
  return request;
}

Bytes ParameterRequest(std::uint16_t table, std::uint8_t parameter, std::uint8_t size, std::uint32_t id = 0) {
  Bytes request = Request(1056, 0x52, id);
  PutU16(&request[544], table);
  request[546] = parameter;
  request[547] = size;
  return request;
}

Bytes U32(std::uint32_t value) {
  Bytes bytes(4);
  PutU32(bytes.data(), value);
  return bytes;
}

class WorldTest : public ::testing::Test {
 protected:
  void Load(const std::string& json) {
    std::string error;
    ASSERT_TRUE(LoadWorldText(json, "test.json", world, &error)) << error;
  }
  DeviceReply Call(const std::string& device, const Bytes& input,
                   std::uint32_t code = platform::IOCTL_SCSI_MINIPORT) {
    std::lock_guard lock(world.mutex);
    return HandleDeviceCall(world, device, code, input, static_cast<std::uint32_t>(input.size()));
  }
  // The parameter's bytes, or the packet status as a one-byte failure.
  Bytes Parameter(std::uint16_t table, std::uint8_t parameter, std::uint8_t size,
                  std::uint8_t* status = nullptr, const std::string& device = "Scsi0:") {
    DeviceReply reply = Call(device, ParameterRequest(table, parameter, size));
    EXPECT_EQ(reply.error, 0u);
    if (reply.bytes.size() != 1056) return {};
    if (status) *status = reply.bytes[36];
    return Bytes(reply.bytes.begin() + 548, reply.bytes.begin() + 548 + size);
  }

  World world;
};

TEST_F(WorldTest, IdentifyReplyCarriesTextLevelAndExtra) {
  Load(R"({"controllers": [{"port": 0, "driver": "Zelka driver 9", "level": 5, "extra": 70000}]})");
  DeviceReply reply = Call("Scsi0:", Request(544, 0x1D));
  ASSERT_EQ(reply.error, 0u);
  ASSERT_EQ(reply.bytes.size(), 544u);
  EXPECT_STREQ(reinterpret_cast<const char*>(&reply.bytes[40]), "Zelka driver 9");
  EXPECT_EQ(GetU16(&reply.bytes[32 + 50]), 5u);
  EXPECT_EQ(GetU32(&reply.bytes[32 + 52]), 70000u);
  // The header comes back as it was sent.
  const Bytes sent = Request(544, 0x1D);
  EXPECT_EQ(Bytes(reply.bytes.begin(), reply.bytes.begin() + 32), Bytes(sent.begin(), sent.begin() + 32));
}

TEST_F(WorldTest, VersionTextsAreZeroPaddedToTheirSizes) {
  BuildDefaultWorld(world);
  EXPECT_EQ(Parameter(0x402, 3, 16),
            Bytes({'Z', 'F', ' ', '2', '.', '0', '4', '.', '0', '1', '1', 0, 0, 0, 0, 0}));
  EXPECT_EQ(Parameter(0x402, 5, 8), Bytes({'P', 'C', '-', '3', 'A', 0, 0, 0}));
}

TEST_F(WorldTest, UnitTablesOfTheDefaultWorld) {
  BuildDefaultWorld(world);
  EXPECT_EQ(Parameter(3, 2, 2), Bytes({2, 0}));
  Bytes presence(16, 0);
  presence[0] = presence[1] = 1;
  EXPECT_EQ(Parameter(3, 3, 16), presence);
  EXPECT_EQ(Parameter(0x300, 3, 1), Bytes({0xFF}));
  EXPECT_EQ(Parameter(0x300, 4, 4), U32(156330720));
  // RAID 5 of three: 12 + 3 * 12 bytes, parameter 5 is that plus 3.
  EXPECT_EQ(Parameter(0x300, 5, 2), Bytes({51, 0}));
  const Bytes d = Parameter(0x300, 6, 48);
  ASSERT_EQ(d.size(), 48u);
  EXPECT_EQ(d[0], 3);
  EXPECT_EQ(d[1], 5);
  EXPECT_EQ(d[2], 7);
  EXPECT_EQ(d[3], 0);
  for (int m = 0; m < 3; ++m) {
    const std::uint8_t* e = &d[12 + 12 * m];
    EXPECT_EQ(e[0], 0);
    EXPECT_EQ(e[2], m);
    EXPECT_EQ(e[3], m);
    EXPECT_EQ(GetU32(e + 8), 78165360u);
  }
  // The hot spare is a single-drive descriptor.
  EXPECT_EQ(Parameter(0x301, 5, 2), Bytes({15, 0}));
  const Bytes spare = Parameter(0x301, 6, 12);
  EXPECT_EQ(spare[0], 0);
  EXPECT_EQ(spare[1], 13);
  EXPECT_EQ(spare[2], 3);
  EXPECT_EQ(GetU32(&spare[8]), 78165360u);
}

TEST_F(WorldTest, Raid10DescriptorHasHeaderThenSubunitsWithTheirDrives) {
  BuildDefaultWorld(world);
  const Bytes d = Parameter(0x300, 6, 96, nullptr, "Scsi1:");
  EXPECT_EQ(d[0], 2);
  EXPECT_EQ(d[1], 6);
  EXPECT_EQ(d[2], 8);
  EXPECT_EQ(d[12], 0xFF);
  EXPECT_EQ(d[14], 0xFF);
  EXPECT_EQ(d[15], 0xFF);
  EXPECT_NE(d[24], 0);  // subunit 0
  EXPECT_EQ(d[36], 0);
  EXPECT_EQ(d[38], 0);
  EXPECT_EQ(d[39], 0);
  EXPECT_EQ(d[48], 0);
  EXPECT_EQ(d[50], 1);
  EXPECT_EQ(d[51], 1);
  EXPECT_NE(d[60], 0);  // subunit 1
  EXPECT_EQ(d[74], 2);
  EXPECT_EQ(d[86], 3);
  EXPECT_EQ(d[87], 1);
  EXPECT_EQ(Parameter(0x300, 5, 2, nullptr, "Scsi1:"), Bytes({99, 0}));
}

TEST_F(WorldTest, DriveTables) {
  BuildDefaultWorld(world);
  const Bytes model = Parameter(0x202, 3, 40);
  EXPECT_EQ(std::string(model.begin(), model.end()), "KD-4000 ATA Disk" + std::string(24, ' '));
  const Bytes serial = Parameter(0x202, 4, 20);
  EXPECT_EQ(std::string(serial.begin(), serial.end()), std::string("KD4S01002") + std::string(11, '\0'));
  EXPECT_EQ(Parameter(0x202, 2, 4), U32(78165360));
}

TEST_F(WorldTest, UnknownTablesAnswerWithPacketStatus) {
  BuildDefaultWorld(world);
  std::uint8_t status = 0;
  Parameter(0x305, 3, 1, &status);  // no unit 5
  EXPECT_EQ(status, kPacketStatusNoSuchParameter);
  Parameter(0x209, 3, 40, &status);  // no drive on port 9
  EXPECT_EQ(status, kPacketStatusNoSuchParameter);
  Parameter(0x402, 9, 16, &status);
  EXPECT_EQ(status, kPacketStatusNoSuchParameter);
  Parameter(0x402, 2, 16, &status);
  EXPECT_EQ(status, 0);
}

TEST_F(WorldTest, RawDescriptorAndSizeOverride) {
  Load(
      R"({"controllers": [{"port": 0, "units": [{"number": 2, "type": 5, "descriptor": [4, 5, 7, 0, 0, 0, 0, 0,
           0, 0, 0, 0, 0, 0, 1, 0], "descriptorSize": 2}]}]})");
  EXPECT_EQ(Parameter(0x302, 5, 2), Bytes({2, 0}));
  Bytes expected = {4, 5, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(Parameter(0x302, 6, 20), expected);
}

TEST_F(WorldTest, RawParametersWinAndUnitCountOverrides) {
  Load(R"({"controllers": [{"port": 0, "unitCount": 9, "versions": {"bios": "B1"},
           "parameters": [{"table": "0x402", "parameter": 4, "bytes": [1, 2, 3]}]}]})");
  EXPECT_EQ(Parameter(0x402, 4, 4), Bytes({1, 2, 3, 0}));
  EXPECT_EQ(Parameter(3, 2, 2), Bytes({9, 0}));
}

TEST_F(WorldTest, MemberDefaultsComeFromTheDrives) {
  Load(R"({"controllers": [{"port": 0, "drives": [{"port": 1, "sectors": 1000}],
           "units": [{"number": 0, "type": 0, "members": [1, {"port": 255}, {"port": 9, "index": 5, "sectors": 7}]}]}]})");
  const Unit& unit = world.controllers[0].units[0];
  ASSERT_EQ(unit.members.size(), 3u);
  EXPECT_EQ(unit.members[0], (Member{1, 0, 1000}));
  EXPECT_EQ(unit.members[1], (Member{255, 1, 0}));
  EXPECT_EQ(unit.members[2], (Member{9, 5, 7}));
}

TEST_F(WorldTest, ParameterFaults) {
  Load(R"({"controllers": [{"port": 0, "faults": {"parameters": [
           {"table": 3, "parameter": 2, "status": 12}, {"table": 3, "parameter": 3, "error": 31},
           {"table": 2, "parameter": 2, "disconnect": true}]}}]})");
  std::uint8_t status = 0;
  Parameter(3, 2, 2, &status);
  EXPECT_EQ(status, 12);
  DeviceReply failed = Call("Scsi0:", ParameterRequest(3, 3, 16));
  EXPECT_EQ(failed.error, 31u);
  EXPECT_TRUE(failed.bytes.empty());
  DeviceReply dropped = Call("Scsi0:", ParameterRequest(2, 2, 2));
  EXPECT_TRUE(dropped.disconnect);
}

TEST_F(WorldTest, HandshakeReply) {
  Load(R"({"family": "virtual", "virtualDevice": {"version": "VSD 4.07", "controllers": 3},
           "controllers": [{"port": 0}]})");
  Bytes handshake(58, 0xEE);
  std::memcpy(handshake.data(), "VSD", 4);
  PutU16(&handshake[4], 58);
  DeviceReply reply = Call("ZELKAVSD", handshake, platform::VSD_HANDSHAKE_CODE);
  ASSERT_EQ(reply.error, 0u);
  ASSERT_EQ(reply.bytes.size(), 58u);
  EXPECT_EQ(std::memcmp(reply.bytes.data(), "VSD", 4), 0);
  EXPECT_EQ(GetU16(&reply.bytes[4]), 58u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply.bytes[6])), "VSD 4.07");
  EXPECT_EQ(reply.bytes[6 + 8], 0);
  EXPECT_EQ(reply.bytes[49], 0);
  EXPECT_EQ(GetU32(&reply.bytes[50]), 3u);
}

TEST_F(WorldTest, VirtualDeviceFindsTheControllerByTheIdInTheRequest) {
  Load(
      R"({"family": "virtual", "controllers": [{"port": 0, "driver": "zero"}, {"port": 1, "driver": "one"}]})");
  DeviceReply reply = Call("ZELKAVSD", Request(544, 0x1D, 1));
  ASSERT_EQ(reply.error, 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(&reply.bytes[40]), "one");
  EXPECT_EQ(Call("ZELKAVSD", Request(544, 0x1D, 2)).error, platform::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Call("Scsi0:", Request(544, 0x1D, 0)).error, platform::ERROR_INVALID_HANDLE);
}

TEST_F(WorldTest, OpenDeviceNames) {
  Load(R"({"controllers": [{"port": 3}, {"port": 11, "faults": {"openError": 5}}]})");
  EXPECT_EQ(OpenDevice(world, "Scsi3:"), 0u);
  EXPECT_EQ(OpenDevice(world, "Scsi11:"), 5u);
  EXPECT_EQ(OpenDevice(world, "Scsi4:"), 2u);
  EXPECT_EQ(OpenDevice(world, "Scsi03:"), 2u);
  EXPECT_EQ(OpenDevice(world, "Scsi3"), 2u);
  EXPECT_EQ(OpenDevice(world, "ZELKAVSD"), 2u);
  EXPECT_EQ(DeviceNames(world), (std::vector<std::string>{"Scsi3:", "Scsi11:"}));
}

struct Unexpected {
  const char* name;
  std::uint32_t code;
  Bytes input;
  std::uint32_t outputLength;
  std::uint32_t error;
};

// Test names and messages show the case name, not its bytes.
void PrintTo(const Unexpected& c, std::ostream* os) {
  *os << c.name;
}

Bytes WithByte(Bytes bytes, std::size_t at, std::uint8_t value) {
  bytes[at] = value;
  return bytes;
}

class UnexpectedCallTest : public WorldTest, public ::testing::WithParamInterface<Unexpected> {};

TEST_P(UnexpectedCallTest, FailsWithADeviceError) {
  BuildDefaultWorld(world);
  std::lock_guard lock(world.mutex);
  DeviceReply reply =
      HandleDeviceCall(world, "Scsi0:", GetParam().code, GetParam().input, GetParam().outputLength);
  EXPECT_EQ(reply.error, GetParam().error);
  EXPECT_TRUE(reply.bytes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnexpectedCallTest,
    ::testing::Values(
        Unexpected{"Empty", platform::IOCTL_SCSI_MINIPORT, {}, 0, 87},
        Unexpected{"OddSize", platform::IOCTL_SCSI_MINIPORT, Bytes(100, 0), 100, 87},
        Unexpected{"LengthsDiffer", platform::IOCTL_SCSI_MINIPORT, Request(544, 0x1D), 1056, 87},
        Unexpected{"NoSignature", platform::IOCTL_SCSI_MINIPORT, WithByte(Request(544, 0x1D), 4, 'z'), 544,
                   87},
        Unexpected{"WrongHeaderLength", platform::IOCTL_SCSI_MINIPORT, WithByte(Request(544, 0x1D), 0, 27),
                   544, 87},
        Unexpected{"WrongLengthField", platform::IOCTL_SCSI_MINIPORT, WithByte(Request(544, 0x1D), 24, 0),
                   544, 87},
        Unexpected{"ParameterInShortRequest", platform::IOCTL_SCSI_MINIPORT, Request(544, 0x52), 544, 87},
        Unexpected{"UnknownControlCode", 0x12345678, Request(544, 0x1D), 544, 1},
        Unexpected{"HandshakeOnPortDevice", platform::VSD_HANDSHAKE_CODE, Bytes(58, 0), 58, 1}),
    [](const ::testing::TestParamInfo<Unexpected>& info) { return std::string(info.param.name); });

TEST_F(WorldTest, UnknownOpcodeAnswersWithPacketStatus) {
  BuildDefaultWorld(world);
  DeviceReply reply = Call("Scsi0:", Request(544, 0x07));
  ASSERT_EQ(reply.error, 0u);
  EXPECT_EQ(reply.bytes[36], kPacketStatusBadOpcode);
}

TEST_F(WorldTest, RecordIsBoundedAndCallsAreCounted) {
  BuildDefaultWorld(world);
  world.recordLimit = 3;
  for (int i = 0; i < 5; ++i) Call("Scsi0:", ParameterRequest(0x402, static_cast<std::uint8_t>(2 + i), 8));
  EXPECT_EQ(world.deviceCalls, 5u);
  ASSERT_EQ(world.received.size(), 3u);
  EXPECT_EQ(world.received.front().input[546], 4);
  EXPECT_EQ(world.received.back().input[546], 6);
}

TEST_F(WorldTest, RandomCallsNeverBreakTheDevice) {
  BuildDefaultWorld(world);
  world.recordRequests = false;
  std::mt19937 random(20261208);
  for (int i = 0; i < 3000; ++i) {
    const std::size_t size = (i % 3 == 0) ? 1056 : (i % 3 == 1) ? 544 : random() % 1200;
    Bytes input = Request(std::max<std::size_t>(size, 33), 0);
    input.resize(size);
    for (std::size_t b = 28; b < input.size(); ++b) input[b] = static_cast<std::uint8_t>(random());
    const std::uint32_t code = (i % 5 == 0) ? platform::VSD_HANDSHAKE_CODE : platform::IOCTL_SCSI_MINIPORT;
    std::lock_guard lock(world.mutex);
    DeviceReply reply =
        HandleDeviceCall(world, "Scsi1:", code, input, static_cast<std::uint32_t>(input.size()));
    if (reply.error == 0) {
      EXPECT_EQ(reply.bytes.size(), input.size());
    }
  }
}

}  // namespace
}  // namespace kivo::emulator
