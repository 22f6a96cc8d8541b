// ControllerSet's device channel against the in-process emulator: the bytes
// the device receives, both device families, every failure path with its
// status and system error, and the error wording.
#include "controller/ControllerSet.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ostream>
#include <string>

#include "emulator/InProcessDeviceIo.h"
#include "emulator/WorldFile.h"
#include "platform/DeviceIo.h"
#include "platform/HostFacts.h"
#include "platform/LastError.h"
#include "platform/SystemMessage.h"
#include "support/FakeClock.h"
#include "support/HostDoubles.h"

namespace kivo {
namespace {

using emulator::Bytes;
using emulator::World;
using namespace request;

// The system's wording of a code as FormatMessageA gives it: Windows' own on
// Linux, the system's under Wine (which words many codes differently).
std::string SystemWording(DWORD code) {
  char buffer[512];
  const DWORD n =
      platform::FormatMessageA(platform::FORMAT_MESSAGE_FROM_SYSTEM, code, 0, buffer, sizeof buffer);
  return std::string(buffer, n);
}

// Cases that depend on the length of a Windows sentence need Windows' wording.
bool HasWindowsWording() {
  return SystemWording(2) == "The system cannot find the file specified.\r\n";
}

using FakeHost = test::FakeHostFacts;

class ControllerSetTest : public ::testing::Test {
 protected:
  void Load(const std::string& json) {
    std::string error;
    ASSERT_TRUE(emulator::LoadWorldText(json, "test.json", world, &error)) << error;
  }
  platform::PlatformContext Context(platform::HostFacts& facts) {
    platform::PlatformContext context;
    context.clock = &clock;
    context.host = &facts;
    context.device = &io;
    return context;
  }
  const emulator::ReceivedRequest& Received(std::size_t i) { return world.received.at(i); }

  World world;
  emulator::InProcessDeviceIo io{world};
  test::FakeClock clock;
  FakeHost ntHost{platform::VER_PLATFORM_WIN32_NT};
  FakeHost linuxHost{platform::VER_PLATFORM_LINUX};
  FakeHost windows98Host{platform::VER_PLATFORM_WIN32_WINDOWS};
};

constexpr char kVirtualWorld[] = R"({"family": "virtual",
  "virtualDevice": {"version": "VSD 4.07", "controllers": 2},
  "controllers": [{"port": 0, "driver": "VSD driver 0"}, {"port": 1, "driver": "VSD driver 1"}]})";

TEST_F(ControllerSetTest, NewSetHasNoStatusAndEmptyTexts) {
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.LastStatus(), 0u);
  EXPECT_STREQ(set.DriverText(), "");
  EXPECT_STREQ(set.VsdText(), "");
  EXPECT_EQ(set.ControllerCount(), 0);
  EXPECT_FALSE(set.IsOpen());
  std::uint32_t level = 9, extra = 9;
  set.DriverLevel(&level, &extra);
  EXPECT_EQ(level, 0u);
  EXPECT_EQ(extra, 0u);
}

TEST_F(ControllerSetTest, NtFamilyOpensThePortDeviceOfTheId) {
  Load(R"({"controllers": [{"port": 3, "level": 2, "extra": 7}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(3), 0);
  EXPECT_TRUE(set.IsOpen());
  EXPECT_EQ(set.ScsiId(), 3);
  ASSERT_EQ(world.received.size(), 1u);
  EXPECT_EQ(Received(0).device, "Scsi3:");
  EXPECT_EQ(Received(0).controlCode, platform::IOCTL_SCSI_MINIPORT);
  std::uint32_t level = 0, extra = 0;
  set.DriverLevel(&level, &extra);
  EXPECT_EQ(level, 2u);
  EXPECT_EQ(extra, 7u);
  EXPECT_EQ(set.LastStatus(), 0u);
  EXPECT_EQ(set.Close(), 0);
  EXPECT_EQ(io.OpenHandles(), 0);
}

TEST_F(ControllerSetTest, LinuxHostUsesPortDevicesToo) {
  Load(R"({"controllers": [{"port": 3}]})");
  ControllerSet set(Context(linuxHost));
  ASSERT_EQ(set.Open(3), 0);
  EXPECT_EQ(Received(0).device, "Scsi3:");
}

TEST_F(ControllerSetTest, IdentifyRequestWhileOpeningCarriesHeaderIdAndPacket) {
  Load(R"({"controllers": [{"port": 3}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(3), 0);
  const Bytes& in = Received(0).input;
  ASSERT_EQ(in.size(), 544u);
  EXPECT_EQ(Received(0).outputLength, 544u);
  EXPECT_EQ(GetU32(&in[0]), 28u);
  EXPECT_EQ(std::memcmp(&in[4], "Zelka  \0", 8), 0);
  EXPECT_EQ(GetU32(&in[12]), 60u);
  EXPECT_EQ(GetU32(&in[16]), 0u);
  EXPECT_EQ(GetU32(&in[20]), 0u);
  EXPECT_EQ(GetU32(&in[24]), 516u);
  EXPECT_EQ(GetU32(&in[28]), 3u);
  Bytes packet(in.begin() + 32, in.end());
  Bytes expected(512, 0);
  expected[0] = 0x1D;
  expected[2] = 1;
  EXPECT_EQ(packet, expected);
}

TEST_F(ControllerSetTest, QueryDriverSendsPlainIdentifyAndKeepsTheText) {
  Load(R"({"controllers": [{"port": 5, "driver": "Zelka NT driver 1.2"}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(5), 0);
  ASSERT_EQ(set.QueryDriver(), 0);
  EXPECT_STREQ(set.DriverText(), "Zelka NT driver 1.2");
  const Bytes& in = Received(1).input;
  ASSERT_EQ(in.size(), 544u);
  EXPECT_EQ(GetU32(&in[24]), 516u);
  EXPECT_EQ(GetU32(&in[28]), 5u);
  Bytes expected(512, 0);
  expected[0] = 0x1D;
  EXPECT_EQ(Bytes(in.begin() + 32, in.end()), expected);
  // The texts outlive Close.
  set.Close();
  EXPECT_STREQ(set.DriverText(), "Zelka NT driver 1.2");
}

TEST_F(ControllerSetTest, ParameterRequestLayout) {
  Load(R"({"controllers": [{"port": 2, "versions": {"model": "Zelka Z-1"}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(2), 0);
  std::array<std::uint8_t, 20> out;
  out.fill(0xAA);
  ASSERT_EQ(set.GetParameter(0x402, 8, 16, out.data(), 5), 0);
  const Bytes& in = world.received.back().input;
  ASSERT_EQ(in.size(), 1056u);
  EXPECT_EQ(world.received.back().outputLength, 1056u);
  EXPECT_EQ(GetU32(&in[24]), 1028u);
  EXPECT_EQ(GetU32(&in[28]), 2u);
  Bytes packet(in.begin() + 32, in.begin() + 544);
  Bytes expected(512, 0);
  expected[0] = 0x52;
  expected[1] = 2;
  expected[3] = 5;
  expected[6] = 1;
  EXPECT_EQ(packet, expected);
  EXPECT_EQ(GetU16(&in[544]), 0x402);
  EXPECT_EQ(in[546], 8);
  EXPECT_EQ(in[547], 16);
  EXPECT_TRUE(std::all_of(in.begin() + 548, in.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(ControllerSetTest, SixteenBytesAreCopiedWithoutTerminator) {
  Load(R"({"controllers": [{"port": 0, "parameters": [{"table": "0x402", "parameter": 8,
           "text": "ABCDEFGHIJKLMNOPQRS"}]}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  std::array<char, 20> out;
  out.fill('#');
  ASSERT_EQ(set.GetParameter(0x402, 8, 16, out.data()), 0);
  EXPECT_EQ(std::string(out.data(), 20), "ABCDEFGHIJKLMNOP####");
}

TEST_F(ControllerSetTest, ShortTextComesWithZeroBytes) {
  Load(R"({"controllers": [{"port": 0, "versions": {"firmware": "1.2"}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  std::array<char, 17> out;
  out.fill('#');
  ASSERT_EQ(set.GetParameter(0x402, 3, 16, out.data()), 0);
  EXPECT_EQ(std::string(out.data(), 17), std::string("1.2") + std::string(13, '\0') + "#");
}

TEST_F(ControllerSetTest, PacketStatusFailsTheReadAndLeavesOutUntouched) {
  Load(R"({"controllers": [{"port": 0, "faults": {"parameters": [{"table": "0x402", "parameter": 4,
           "status": "0x0C"}]}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  std::array<char, 16> out;
  out.fill('#');
  EXPECT_EQ(set.GetParameter(0x402, 4, 16, out.data()), -1);
  EXPECT_EQ(set.LastStatus(), kStatusPacketStatus);
  EXPECT_EQ(set.LastStatus(), 0xAD005u);
  EXPECT_EQ(set.SystemError(), 0u);
  EXPECT_EQ(set.PacketStatus(), 0x0C);
  EXPECT_STREQ(set.ErrorText(), "Command packet status 0xc");
  EXPECT_EQ(std::string(out.data(), 16), std::string(16, '#'));
  // The next operation starts clean.
  ASSERT_EQ(set.GetParameter(0x402, 3, 16, out.data()), 0);
  EXPECT_EQ(set.LastStatus(), 0u);
  EXPECT_EQ(set.PacketStatus(), 0);
}

TEST_F(ControllerSetTest, FailedParameterCallKeepsTheSystemError) {
  Load(
      R"({"controllers": [{"port": 0, "faults": {"parameters": [{"table": 3, "parameter": 2, "error": 31}]}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  std::uint16_t count = 0x5555;
  EXPECT_EQ(set.GetParameter(3, 2, 2, &count), -1);
  EXPECT_EQ(set.LastStatus(), kStatusSendFailed);
  EXPECT_EQ(set.SystemError(), 31u);
  EXPECT_EQ(count, 0x5555);
  EXPECT_EQ(set.ErrorText(), SystemWording(31) + "(error code 31)");
}

TEST_F(ControllerSetTest, DroppedConnectionGives1167) {
  Load(R"({"controllers": [{"port": 0, "faults": {"parameters": [{"table": 3, "parameter": 2,
           "disconnect": true}]}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  std::uint16_t count = 0;
  EXPECT_EQ(set.GetParameter(3, 2, 2, &count), -1);
  EXPECT_EQ(set.SystemError(), platform::ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(set.QueryDriver(), -1);
  EXPECT_EQ(set.SystemError(), platform::ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(set.LastStatus(), kStatusSendFailed);
}

TEST_F(ControllerSetTest, MessageTooLongForTheBufferLeavesOnlyTheCode) {
  if (!HasWindowsWording()) GTEST_SKIP() << "the system words this code differently";
  Load(
      R"({"controllers": [{"port": 0, "faults": {"parameters": [{"table": 3, "parameter": 2, "error": 1015}]}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  std::uint16_t count = 0;
  ASSERT_EQ(set.GetParameter(3, 2, 2, &count), -1);
  EXPECT_STREQ(set.ErrorText(), "(error code 1015)");
}

TEST_F(ControllerSetTest, MessageOf94CharactersGetsTheSuffix) {
  if (!HasWindowsWording()) GTEST_SKIP() << "the system words this code differently";
  Load(
      R"({"controllers": [{"port": 0, "faults": {"parameters": [{"table": 3, "parameter": 2, "error": 10048}]}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  std::uint16_t count = 0;
  ASSERT_EQ(set.GetParameter(3, 2, 2, &count), -1);
  const std::string text = set.ErrorText();
  ASSERT_EQ(text.size(), 94u + 18u);
  EXPECT_EQ(text.substr(94), "(error code 10048)");
}

struct SuffixCase {
  DWORD written;
  bool suffixed;
};

void PrintTo(const SuffixCase& c, std::ostream* os) {
  *os << c.written;
}

class ErrorCodeSuffixTest : public ::testing::TestWithParam<SuffixCase> {};

TEST_P(ErrorCodeSuffixTest, FollowsThe98CharacterRule) {
  std::array<char, 128> text;
  text.fill('m');
  const DWORD n = GetParam().written;
  text[n] = '\0';
  AppendErrorCode(text, n, 1234567890);
  const std::string result = text.data();
  if (GetParam().suffixed) {
    EXPECT_EQ(result, std::string(n, 'm') + "(error code 1234567890)");
  } else {
    EXPECT_EQ(result, std::string(n, 'm'));
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ErrorCodeSuffixTest,
                         ::testing::Values(SuffixCase{0, true}, SuffixCase{50, true}, SuffixCase{97, true},
                                           SuffixCase{98, false}, SuffixCase{120, false},
                                           SuffixCase{127, false}));

TEST_F(ControllerSetTest, UnknownSystemErrorGivesOnlyTheCode) {
  Load(R"({"controllers": [{"port": 0, "faults": {"parameters": [{"table": 3, "parameter": 2,
           "error": 74565}]}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  std::uint16_t count = 0;
  ASSERT_EQ(set.GetParameter(3, 2, 2, &count), -1);
  EXPECT_STREQ(set.ErrorText(), "(error code 74565)");
}

TEST_F(ControllerSetTest, MissingDeviceFailsOpenWithError2) {
  Load(R"({"controllers": [{"port": 1}]})");
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Open(7), -1);
  EXPECT_EQ(set.LastStatus(), kStatusOpenFailed);
  EXPECT_EQ(set.SystemError(), 2u);
  EXPECT_EQ(set.ScsiId(), 7);
  EXPECT_FALSE(set.IsOpen());
  EXPECT_EQ(set.ErrorText(), SystemWording(2) + "(error code 2)");
}

TEST_F(ControllerSetTest, DeviceThatWillNotOpenGivesItsError) {
  Load(R"({"controllers": [{"port": 1, "faults": {"openError": 5}}]})");
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Open(1), -1);
  EXPECT_EQ(set.LastStatus(), 0xAD008u);
  EXPECT_EQ(set.SystemError(), 5u);
}

TEST_F(ControllerSetTest, UnreadablePlatformVersionFailsOpen) {
  Load(R"({"controllers": [{"port": 1}]})");
  ntHost.versionFails = true;
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Open(1), -1);
  EXPECT_EQ(set.LastStatus(), kStatusVersionFailed);
  EXPECT_EQ(set.SystemError(), 87u);
  EXPECT_TRUE(world.received.empty());
  EXPECT_EQ(io.OpenHandles(), 0);
}

TEST_F(ControllerSetTest, DriverThatNeverReportsALevelCostsTenAttemptsAndStillOpens) {
  Load(R"({"controllers": [{"port": 0, "faults": {"neverReportsLevel": true}}]})");
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Open(0), 0);
  EXPECT_TRUE(set.IsOpen());
  EXPECT_EQ(set.LastStatus(), 0u);
  EXPECT_EQ(clock.Sleeps(), std::vector<std::uint32_t>(10, 500));
  EXPECT_EQ(clock.ElapsedMs(), 5000u);
  EXPECT_EQ(world.received.size(), 10u);
  std::uint32_t level = 1, extra = 1;
  set.DriverLevel(&level, &extra);
  EXPECT_EQ(level, 0u);
  EXPECT_EQ(extra, 0u);
}

TEST_F(ControllerSetTest, StartingDriverIsWaitedFor) {
  Load(R"({"controllers": [{"port": 0, "level": 4, "faults": {"levelAfterAttempts": 3}}]})");
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Open(0), 0);
  EXPECT_EQ(clock.Sleeps(), std::vector<std::uint32_t>(3, 500));
  EXPECT_EQ(world.received.size(), 4u);
  std::uint32_t level = 0, extra = 0;
  set.DriverLevel(&level, &extra);
  EXPECT_EQ(level, 4u);
}

TEST_F(ControllerSetTest, CompanionValueAloneEndsTheWait) {
  Load(R"({"controllers": [{"port": 0, "level": 0, "extra": 9}]})");
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Open(0), 0);
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(ControllerSetTest, FailedIdentifyWhileOpeningClosesAndKeepsTheSendFailure) {
  Load(R"({"controllers": [{"port": 0, "faults": {"openIdentifyError": 31}}]})");
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Open(0), -1);
  EXPECT_EQ(set.LastStatus(), 0xAD002u);
  EXPECT_EQ(set.SystemError(), 31u);
  EXPECT_FALSE(set.IsOpen());
  EXPECT_EQ(io.OpenHandles(), 0);
}

TEST_F(ControllerSetTest, FailedDriverQuery) {
  Load(R"({"controllers": [{"port": 0, "driver": "D", "faults": {"queryDriverError": 21}}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  EXPECT_EQ(set.QueryDriver(), -1);
  EXPECT_EQ(set.LastStatus(), kStatusSendFailed);
  EXPECT_EQ(set.SystemError(), 21u);
  EXPECT_STREQ(set.DriverText(), "");
}

TEST_F(ControllerSetTest, CloseTwiceFailsTheSecondTime) {
  Load(R"({"controllers": [{"port": 0}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  EXPECT_EQ(set.Close(), 0);
  EXPECT_EQ(set.Close(), -1);
  EXPECT_EQ(set.LastStatus(), kStatusCloseFailed);
  EXPECT_EQ(set.SystemError(), platform::ERROR_INVALID_HANDLE);
  EXPECT_FALSE(set.IsOpen());
}

TEST_F(ControllerSetTest, SecondOpenDoesNotLeakTheFirstHandle) {
  Load(R"({"controllers": [{"port": 0}, {"port": 1}]})");
  ControllerSet set(Context(ntHost));
  ASSERT_EQ(set.Open(0), 0);
  ASSERT_EQ(set.Open(1), 0);
  EXPECT_EQ(io.OpenHandles(), 1);
  set.Close();
  EXPECT_EQ(io.OpenHandles(), 0);
}

TEST_F(ControllerSetTest, VirtualDeviceOpenSendsHandshakeThenIdInsideRequests) {
  Load(kVirtualWorld);
  ControllerSet set(Context(windows98Host));
  ASSERT_EQ(set.Open(1), 0);
  ASSERT_GE(world.received.size(), 2u);
  EXPECT_EQ(Received(0).device, "ZELKAVSD");
  EXPECT_EQ(Received(0).controlCode, platform::VSD_HANDSHAKE_CODE);
  ASSERT_EQ(Received(0).input.size(), 58u);
  EXPECT_EQ(Received(0).outputLength, 58u);
  EXPECT_EQ(std::memcmp(Received(0).input.data(), "VSD\0", 4), 0);
  EXPECT_EQ(GetU16(&Received(0).input[4]), 58u);
  EXPECT_EQ(Received(1).device, "ZELKAVSD");
  EXPECT_EQ(GetU32(&Received(1).input[28]), 1u);
  EXPECT_STREQ(set.VsdText(), "VSD 4.07");
  ASSERT_EQ(set.QueryDriver(), 0);
  EXPECT_STREQ(set.DriverText(), "VSD driver 1");
}

TEST_F(ControllerSetTest, VirtualDeviceServingTwoRefusesId2) {
  Load(kVirtualWorld);
  ControllerSet set(Context(windows98Host));
  EXPECT_EQ(set.Open(2), -1);
  EXPECT_EQ(set.LastStatus(), kStatusIdNotServed);
  EXPECT_EQ(set.LastStatus(), 0xAD010u);
  EXPECT_EQ(set.SystemError(), 5u);
  EXPECT_EQ(set.ErrorText(), SystemWording(5) + "(error code 5)");
  EXPECT_FALSE(set.IsOpen());
  EXPECT_EQ(io.OpenHandles(), 0);
  EXPECT_EQ(world.received.size(), 1u);  // the handshake only
}

TEST_F(ControllerSetTest, NegativeIdIsNotServedEither) {
  Load(kVirtualWorld);
  ControllerSet set(Context(windows98Host));
  EXPECT_EQ(set.Open(-1), -1);
  EXPECT_EQ(set.LastStatus(), kStatusIdNotServed);
}

TEST_F(ControllerSetTest, VirtualDeviceTextIsTakenOnlyFromItsOwn44Bytes) {
  const std::string text44(44, 'V');
  Load(R"({"family": "virtual", "virtualDevice": {"version": ")" + text44 + R"(", "controllers": 2},
           "controllers": [{"port": 0}]})");
  ControllerSet set(Context(windows98Host));
  ASSERT_EQ(set.Open(0), 0);
  EXPECT_EQ(std::string(set.VsdText()), text44);
}

struct HandshakeFault {
  const char* name;
  const char* virtualDevice;
  platform::DWORD systemError;
};

// Test names and messages show the case name, not its bytes.
void PrintTo(const HandshakeFault& c, std::ostream* os) {
  *os << c.name;
}

class HandshakeFaultTest : public ControllerSetTest, public ::testing::WithParamInterface<HandshakeFault> {};

TEST_P(HandshakeFaultTest, FailsOpenAndClosesTheDevice) {
  Load(std::string(R"({"family": "virtual", "virtualDevice": )") + GetParam().virtualDevice +
       R"(, "controllers": [{"port": 0}]})");
  ControllerSet set(Context(windows98Host));
  EXPECT_EQ(set.Open(0), -1);
  EXPECT_EQ(set.LastStatus(), kStatusHandshakeFailed);
  EXPECT_EQ(set.SystemError(), GetParam().systemError);
  EXPECT_STREQ(set.VsdText(), "");
  EXPECT_FALSE(set.IsOpen());
  EXPECT_EQ(io.OpenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandshakeFaultTest,
    ::testing::Values(HandshakeFault{"CallFails", R"({"version": "v", "handshakeError": 31})", 31},
                      HandshakeFault{"WrongSignature", R"({"version": "v", "signature": "VSE"})",
                                     platform::ERROR_INVALID_DATA},
                      HandshakeFault{"ShortLength", R"({"version": "v", "replyLength": 57})",
                                     platform::ERROR_INVALID_DATA}),
    [](const ::testing::TestParamInfo<HandshakeFault>& info) { return std::string(info.param.name); });

TEST_F(ControllerSetTest, VirtualDeviceThatWillNotOpen) {
  Load(R"({"family": "virtual", "virtualDevice": {"openError": 2}, "controllers": [{"port": 0}]})");
  ControllerSet set(Context(windows98Host));
  EXPECT_EQ(set.Open(0), -1);
  EXPECT_EQ(set.LastStatus(), kStatusOpenFailed);
  EXPECT_EQ(set.SystemError(), 2u);
}

TEST_F(ControllerSetTest, NtFamilyDoesNotOpenTheVirtualDevice) {
  Load(kVirtualWorld);
  ControllerSet set(Context(ntHost));
  EXPECT_EQ(set.Open(0), -1);
  EXPECT_EQ(set.SystemError(), 2u);
}

}  // namespace
}  // namespace kivo
