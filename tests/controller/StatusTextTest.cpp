// The wording of sizes, unit states, configurations and stripes, and the
// display row of one drive read from a scripted controller.
#include "controller/StatusText.h"

#include <gtest/gtest.h>

#include <string>

#include "report/ReportDoubles.h"
#include "support/FakeClock.h"

namespace kivo::test {
namespace {

std::string Text(const StatusTextBuffer& buffer) {
  return buffer.data();
}

struct CapacityCase {
  std::uint32_t sectors;
  const char* text;
};

TEST(CapacityText, DecimalMegabytesAndGigabytesWithTruncatedHundredths) {
  const CapacityCase cases[] = {{78165360, "40.02 GB"},  {1953125, "1000.00 MB"}, {1953126, "1.00 GB"},
                                {2048, "1.04 MB"},       {0, "0.00 MB"},          {1, "0.00 MB"},
                                {20, "0.01 MB"},         {195312, "99.99 MB"},    {0xFFFFFFFFu, "2199.02 GB"},
                                {976773168, "500.10 GB"}};
  for (const auto& c : cases) {
    StatusTextBuffer out{};
    CapacityText(c.sectors, out);
    EXPECT_EQ(Text(out), c.text) << c.sectors;
  }
}

struct StatusCase {
  std::uint8_t status;
  const char* text;
};

TEST(UnitStatusText, StateWordThenIncompleteThenOffline) {
  const StatusCase cases[] = {
      {0xF3, "Normal"},
      {0xF1, " Incomplete"},
      {0xF0, " Incomplete Offline"},
      {0xF2, "Normal Offline"},
      {0xE1, "Degraded Incomplete"},
      {0xE3, "Degraded"},
      {0xD3, "Rebuilding"},
      {0xC2, "Verifying Offline"},
      {0xB3, "Corrupt"},
      {0x00, "Not Present Incomplete Offline"},
      {0x03, "Not Present"},
      {0x13, "Unknown status"},
      {0xA0, "Unknown status Incomplete Offline"},
      {0xFF, "OK"},
      {0xF7, "Initializing"},
  };
  for (const auto& c : cases) {
    StatusTextBuffer out{};
    UnitStatusText(c.status, out);
    EXPECT_EQ(Text(out), c.text) << std::hex << int{c.status};
  }
}

TEST(StripeText, PowersOfTwoKilobytesAndTheFallback) {
  const char* expected[] = {"4K",   "8K",    "16K", "32K", "64K", "128K", "256K",
                            "512K", "1024K", "2M",  "4M",  "8M",  "16M",  "32M"};
  for (int code = 3; code <= 16; ++code) {
    StatusTextBuffer out{};
    StripeText(static_cast<std::uint8_t>(code), out);
    EXPECT_EQ(Text(out), expected[code - 3]) << code;
  }
  const std::pair<int, const char*> others[] = {
      {0, "2^0-1 K"}, {2, "2^2-1 K"}, {17, "2^17-1 K"}, {255, "2^255-1 K"}};
  for (const auto& [code, text] : others) {
    StatusTextBuffer out{};
    StripeText(static_cast<std::uint8_t>(code), out);
    EXPECT_EQ(Text(out), text) << code;
  }
}

struct TypeCase {
  std::uint8_t type;
  std::uint8_t stripe;
  const char* text;
};

TEST(RaidTypeText, ConfigurationOfEveryTypeCode) {
  const TypeCase cases[] = {
      {0, 7, "Striped 64K (RAID 0)"},
      {0, 17, "Striped 2^17-1 K (RAID 0)"},
      {1, 7, "Mirror (RAID 1)"},
      {2, 3, "Mirror (RAID 1)"},
      {5, 7, "Striped with Parity 64K (RAID 5)"},
      {5, 16, "Striped with Parity 32M (RAID 5)"},
      {6, 8, "Striped Mirrors 128K (RAID 10)"},
      {3, 7, "Unsupported Configuration - Upgrade Kivo (3)"},
      {15, 7, "Unsupported Configuration - Upgrade Kivo (15)"},
      {200, 7, "Unsupported Configuration - Upgrade Kivo (200)"},
  };
  for (const auto& c : cases) {
    StatusTextBuffer out{};
    RaidTypeText(c.type, c.stripe, out);
    EXPECT_EQ(Text(out), c.text) << int{c.type};
  }
}

TEST(CopyText, LongTextsAreCutTo127Characters) {
  StatusTextBuffer out{};
  std::string longText(300, 'x');
  CopyText(out, longText.c_str());
  EXPECT_EQ(Text(out), std::string(127, 'x'));
  AppendText(out, "more");
  EXPECT_EQ(Text(out), std::string(127, 'x'));
  CopyText(out, "Model");
  AppendText(out, " (Hot Spare Disk)");
  EXPECT_EQ(Text(out), "Model (Hot Spare Disk)");
}

// A controller on port 0 of a scripted device, opened for FillDriveRow.
class FillDriveRowTest : public ::testing::Test {
 protected:
  FillDriveRowTest() {
    context.clock = &clock;
    context.host = &host;
    context.device = &device;
    controller = std::make_unique<ControllerInfo>(context);
  }
  void SetUp() override { ASSERT_EQ(controller->Open(0), 0); }
  void TearDown() override { controller->Close(); }

  void SetDrive(int port, const std::string& model, const std::string& serial, std::uint32_t sectors) {
    auto table = static_cast<std::uint16_t>(kDriveTableBase + port);
    std::string padded = model;
    padded.resize(40, ' ');
    device.SetText(table, 3, padded);
    device.SetText(table, 4, serial);
    device.SetNumber(table, 2, sectors);
  }
  static std::array<std::uint8_t, 12> Entry(std::uint8_t port, std::uint8_t index, std::uint32_t sectors) {
    return {0,
            0,
            port,
            index,
            0,
            0,
            0,
            0,
            static_cast<std::uint8_t>(sectors),
            static_cast<std::uint8_t>(sectors >> 8),
            static_cast<std::uint8_t>(sectors >> 16),
            static_cast<std::uint8_t>(sectors >> 24)};
  }

  FakeClock clock;
  FakeHostFacts host;
  ScriptedDevice device;
  platform::PlatformContext context;
  std::unique_ptr<ControllerInfo> controller;
  DisplayRow row{};
};

TEST_F(FillDriveRowTest, ReadsModelSerialAndSizeOfTheDrivesTable) {
  SetDrive(2, "WDC WD400BB-00CAA0", "WD-WMA8E2515431", 78165360);
  auto entry = Entry(2, 2, 78165000);
  FillDriveRow(kDriveTableBase, 5, 0x00, entry.data(), row, *controller, 0);
  EXPECT_EQ(std::string(row.nameText.data()), "    Port 2");
  EXPECT_EQ(std::string(row.typeText.data()), "WDC WD400BB-00CAA0");  // trailing blanks gone
  EXPECT_EQ(std::string(row.serialText.data()), "WD-WMA8E2515431");
  EXPECT_EQ(std::string(row.sizeText.data()), "40.02 GB");
  EXPECT_EQ(std::string(row.sectorsText.data()), "78165000");  // the member's recorded size
  EXPECT_EQ(std::string(row.statusText.data()), " ");
  const std::vector<ScriptedDevice::Key> asked = {{0x202, 3}, {0x202, 4}, {0x202, 2}};
  EXPECT_EQ(device.requests, asked);
}

TEST_F(FillDriveRowTest, NotInServiceBitOnlyForRedundantTypes) {
  SetDrive(2, "Model", "S1", 1000);
  auto entry = Entry(2, 2, 1000);
  FillDriveRow(kDriveTableBase, 5, 0x04, entry.data(), row, *controller, 0);
  EXPECT_EQ(std::string(row.statusText.data()), "Not in Service");

  DisplayRow raid0{};
  FillDriveRow(kDriveTableBase, 0, 0x04, entry.data(), raid0, *controller, 0);
  EXPECT_EQ(std::string(raid0.statusText.data()), "");

  DisplayRow mirror{};
  FillDriveRow(kDriveTableBase, 2, 0x03, entry.data(), mirror, *controller, 0);
  EXPECT_EQ(std::string(mirror.statusText.data()), " ");
}

TEST_F(FillDriveRowTest, Raid10MemberBitCountsTwoPerSubunit) {
  SetDrive(3, "Model", "S1", 1000);
  auto entry = Entry(3, 1, 1000);
  // Subunit 1, member 1: bit 3.
  FillDriveRow(kDriveTableBase, 6, 0x08, entry.data(), row, *controller, 1);
  EXPECT_EQ(std::string(row.statusText.data()), "Not in Service");
  DisplayRow other{};
  FillDriveRow(kDriveTableBase, 6, 0x02, entry.data(), other, *controller, 1);
  EXPECT_EQ(std::string(other.statusText.data()), " ");
  // Bit 8 and above lie outside the map.
  DisplayRow beyond{};
  auto high = Entry(3, 6, 1000);
  FillDriveRow(kDriveTableBase, 6, 0xFF, high.data(), beyond, *controller, 1);
  EXPECT_EQ(std::string(beyond.statusText.data()), " ");
}

TEST_F(FillDriveRowTest, InaccessibleDriveAsksNothing) {
  auto entry = Entry(0xFF, 0, 1234);
  FillDriveRow(kDriveTableBase, 5, 0x00, entry.data(), row, *controller, 0);
  EXPECT_EQ(std::string(row.nameText.data()), "    Drive Inaccessible");
  EXPECT_EQ(std::string(row.typeText.data()), " ");
  EXPECT_EQ(std::string(row.sizeText.data()), " ");
  EXPECT_EQ(std::string(row.statusText.data()), "Error");
  EXPECT_EQ(std::string(row.serialText.data()), "");
  EXPECT_EQ(std::string(row.sectorsText.data()), "");
  EXPECT_TRUE(device.requests.empty());
}

TEST_F(FillDriveRowTest, IndependentDiskNameHasNoIndent) {
  SetDrive(4, "Model", "S1", 1000);
  auto entry = Entry(4, 0, 1000);
  FillDriveRow(kDriveTableBase, 15, 0x00, entry.data(), row, *controller, 0);
  EXPECT_EQ(std::string(row.nameText.data()), "Port 4");
  FillDriveRow(kDriveTableBase, 13, 0x00, entry.data(), row, *controller, 0);
  EXPECT_EQ(std::string(row.nameText.data()), "    Port 4");
}

TEST_F(FillDriveRowTest, FailedReadsShowUnknown) {
  auto entry = Entry(5, 0, 2048);
  FillDriveRow(kDriveTableBase, 1, 0x00, entry.data(), row, *controller, 0);
  EXPECT_EQ(std::string(row.typeText.data()), "Unknown");
  EXPECT_EQ(std::string(row.serialText.data()), "Unknown");
  EXPECT_EQ(std::string(row.sizeText.data()), "Unknown");
  EXPECT_EQ(std::string(row.sectorsText.data()), "2048");

  DisplayRow partial{};
  device.SetText(0x205, 4, "SERIAL");
  FillDriveRow(kDriveTableBase, 1, 0x00, entry.data(), partial, *controller, 0);
  EXPECT_EQ(std::string(partial.typeText.data()), "Unknown");
  EXPECT_EQ(std::string(partial.serialText.data()), "SERIAL");
}

TEST_F(FillDriveRowTest, FullWidthTextsEndAfterTheBytesRead) {
  // 40 model characters and 20 serial characters, no zero byte.
  device.SetText(0x201, 3, std::string(40, 'M'));
  device.SetText(0x201, 4, std::string(20, 'S'));
  device.SetNumber(0x201, 2, 0);
  auto entry = Entry(1, 0, 0);
  FillDriveRow(kDriveTableBase, 1, 0x00, entry.data(), row, *controller, 0);
  EXPECT_EQ(std::string(row.typeText.data()), std::string(40, 'M'));
  EXPECT_EQ(std::string(row.serialText.data()), std::string(20, 'S'));
  EXPECT_EQ(std::string(row.sizeText.data()), "0.00 MB");
}

TEST_F(FillDriveRowTest, TrailingWhiteSpaceOfAllKindsIsRemoved) {
  device.SetText(0x201, 3, std::string("Disk \t\r\n  ") + std::string(30, ' '));
  device.SetText(0x201, 4, "X");
  device.SetNumber(0x201, 2, 2048);
  auto entry = Entry(1, 0, 0);
  FillDriveRow(kDriveTableBase, 1, 0x00, entry.data(), row, *controller, 0);
  EXPECT_EQ(std::string(row.typeText.data()), "Disk");
}

}  // namespace
}  // namespace kivo::test
