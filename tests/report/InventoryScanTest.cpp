// The inventory scan's rows and records: layouts of every unit kind, the
// bounds it keeps against odd controller answers, the version check, the
// message boxes, and the service version from the registry.
#include "report/InventoryScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "controller/StatusText.h"
#include "report/ScanFixture.h"

namespace kivo::test {
namespace {

using emulator::Bytes;
using emulator::Member;
using emulator::Unit;

class InventoryScanTest : public ScanFixture {
 protected:
  std::vector<std::string> Rows(int record) {
    std::vector<std::string> rows;
    const ControllerInfo& info = (*records)[record];
    for (int i = 0; i < info.rowCount; ++i) rows.push_back(Row(info.Rows()[i]));
    return rows;
  }
  std::vector<int> Kinds(int record) {
    std::vector<int> kinds;
    const ControllerInfo& info = (*records)[record];
    for (int i = 0; i < info.rowCount; ++i)
      kinds.push_back(info.Rows()[i].kind * 10 + info.Rows()[i].isArrayUnit);
    return kinds;
  }
  // One controller on port 0 with drives on ports 0..7 and no units.
  emulator::Controller& SingleController() {
    std::lock_guard lock(world.mutex);
    world.controllers.clear();
    emulator::Controller controller;
    controller.scsiId = 0;
    controller.driverText = "driver";
    controller.level = 3;
    controller.versions = emulator::VersionTexts{"M", "F", "B", "P", "A", "C", "Model"};
    for (int port = 0; port < 8; ++port) {
      controller.drives.push_back(emulator::Drive{port, "Disk", "S" + std::to_string(port), 2048});
    }
    world.controllers.push_back(controller);
    return world.controllers.back();
  }
  static Unit Raid(int number, std::uint8_t type, std::vector<std::uint8_t> ports) {
    Unit unit;
    unit.number = number;
    unit.type = type;
    unit.stripe = 7;
    unit.status = 0xFF;
    unit.sectors = 4096;
    std::uint8_t index = 0;
    for (std::uint8_t port : ports) unit.members.push_back(Member{port, index++, 2048});
    return unit;
  }
};

TEST_F(InventoryScanTest, DefaultWorldRowsOfRaid5HotSpareRaid10AndIndependentDisk) {
  DefaultWorld();
  Scan();
  EXPECT_EQ(Kinds(0), (std::vector<int>{11, 10, 10, 10, 0}));
  std::vector<std::string> first = Rows(0);
  ASSERT_EQ(first.size(), 5u);
  EXPECT_EQ(first[0], "Array Unit 0|Striped with Parity 64K (RAID 5)||80.04 GB|156330720|OK");
  EXPECT_EQ(first[1], "    Port 0|KD-4000 ATA Disk|KD4S01000|40.02 GB|78165360| ");
  EXPECT_EQ(first[4], "    Port 3|KD-4000 ATA Disk (Hot Spare Disk)|KD4S01003|40.02 GB|78165360|");

  EXPECT_EQ(Kinds(1), (std::vector<int>{11, 60, 10, 10, 60, 10, 10, 0}));
  std::vector<std::string> second = Rows(1);
  ASSERT_EQ(second.size(), 8u);
  EXPECT_EQ(second[1], "   Subunit 0|Mirror (RAID 1)||||OK");
  EXPECT_EQ(second[4], "   Subunit 1|Mirror (RAID 1)||||OK");
  EXPECT_EQ(second[7], "Port 4|KD-8000 ATA Disk (Independent Disk)|KD8S03000|80.02 GB|156301488|");
  EXPECT_EQ(std::string((*records)[1].FirmwareText()), "ZF 2.04.013");
  EXPECT_EQ(std::string((*records)[0].ModelText()), "Zelka Z-480");
  EXPECT_EQ(device.OpenHandles(), 0);
}

TEST_F(InventoryScanTest, MemberOnPortAboveEightGetsNoRow) {
  auto& controller = SingleController();
  controller.units.push_back(Raid(0, 5, {0, 9, 2}));
  Scan();
  EXPECT_EQ(Rows(0), (std::vector<std::string>{
                         "Array Unit 0|Striped with Parity 64K (RAID 5)||2.09 MB|4096|OK",
                         "    Port 0|Disk|S0|1.04 MB|2048| ",
                         "    Port 2|Disk|S2|1.04 MB|2048| ",
                     }));
}

TEST_F(InventoryScanTest, NeverLaysOutMoreThanTheSixtyFourRows) {
  auto& controller = SingleController();
  // Sixteen units of one unit row and eight members each: 144 rows described.
  for (int n = 0; n < 16; ++n) controller.units.push_back(Raid(n, 0, {0, 1, 2, 3, 4, 5, 6, 7}));
  ScanOutcome outcome;
  std::string report = Scan(1, &outcome);
  EXPECT_EQ((*records)[0].rowCount, kDisplayRows);
  // Nine rows a unit: the last row laid out is unit 7's unit row.
  EXPECT_EQ(std::string((*records)[0].Rows()[63].nameText.data()), "Array Unit 7");
  EXPECT_EQ(std::string((*records)[0].Rows()[62].nameText.data()), "    Port 7");
  EXPECT_EQ(std::string((*records)[0].Rows()[54].nameText.data()), "Array Unit 6");
  EXPECT_EQ(report.find("Array Unit 8"), std::string::npos);
  EXPECT_EQ(outcome.controllersScanned, 1);
}

TEST_F(InventoryScanTest, DescriptorLengthBelowThreeReadsNothingAndShowsNoRows) {
  auto& controller = SingleController();
  controller.units.push_back(Raid(0, 5, {0, 1, 2}));
  controller.units.push_back(Raid(1, 1, {3, 4}));
  controller.units[0].descriptorSize = 2;  // 2 - 3 would be 255 bytes in 8 bits
  Scan();
  EXPECT_EQ(Rows(0), (std::vector<std::string>{
                         "Array Unit 1|Mirror (RAID 1)||2.09 MB|4096|OK",
                         "    Port 3|Disk|S3|1.04 MB|2048|",
                         "    Port 4|Disk|S4|1.04 MB|2048|",
                     }));
}

TEST_F(InventoryScanTest, MembersBeyondTheBytesReadAreCut) {
  auto& controller = SingleController();
  Unit unit = Raid(0, 5, {0, 1});
  Bytes descriptor = emulator::EncodeDescriptor(unit);
  descriptor[0] = 20;  // claims twenty members, carries two
  unit.rawDescriptor = descriptor;
  controller.units.push_back(unit);
  Scan();
  EXPECT_EQ((*records)[0].rowCount, 3);
  EXPECT_EQ(std::string((*records)[0].Rows()[2].nameText.data()), "    Port 1");
  EXPECT_EQ(std::string((*records)[0].Rows()[3].nameText.data()), "");
}

TEST_F(InventoryScanTest, FifthRaid10SubunitHasNoStatus) {
  auto& controller = SingleController();
  Unit unit;
  unit.number = 0;
  unit.type = 6;
  unit.stripe = 8;
  unit.sectors = 4096;
  for (int s = 0; s < 5; ++s) {
    auto a = static_cast<std::uint8_t>(s % 4 * 2);
    unit.subunits.push_back(
        emulator::Subunit{0xE1, {Member{a, 0, 2048}, Member{static_cast<std::uint8_t>(a + 1), 1, 2048}}});
  }
  controller.units.push_back(unit);
  Scan();
  std::vector<std::string> rows = Rows(0);
  // The unit row and five subunits of three rows each; the fifth subunit has
  // no status in the four-entry header.
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(rows[1], "   Subunit 0|Mirror (RAID 1)||||Degraded Incomplete");
  EXPECT_EQ(rows[13], "   Subunit 4|Mirror (RAID 1)||||");
}

TEST_F(InventoryScanTest, InaccessibleDriveOfRaid10AndNotInServiceMember) {
  auto& controller = SingleController();
  Unit unit;
  unit.number = 2;
  unit.type = 6;
  unit.stripe = 8;
  unit.sectors = 4096;
  unit.status = 0xE3;
  unit.notInService = 0x04;  // subunit 1, member 0
  unit.subunits.push_back(emulator::Subunit{0xFF, {Member{0, 0, 2048}, Member{0xFF, 1, 2048}}});
  unit.subunits.push_back(emulator::Subunit{0xE3, {Member{2, 0, 2048}, Member{3, 1, 2048}}});
  controller.units.push_back(unit);
  Scan();
  EXPECT_EQ(Rows(0), (std::vector<std::string>{
                         "Array Unit 2|Striped Mirrors 128K (RAID 10)||2.09 MB|4096|Degraded",
                         "   Subunit 0|Mirror (RAID 1)||||OK",
                         "    Port 0|Disk|S0|1.04 MB|2048| ",
                         "    Drive Inaccessible| || ||Error",
                         "   Subunit 1|Mirror (RAID 1)||||Degraded",
                         "    Port 2|Disk|S2|1.04 MB|2048|Not in Service",
                         "    Port 3|Disk|S3|1.04 MB|2048| ",
                     }));
}

TEST_F(InventoryScanTest, SingleDriveUnitsGetTheirRoleSuffix) {
  auto& controller = SingleController();
  const std::pair<std::uint8_t, const char*> roles[] = {{15, "Port 0|Disk (Independent Disk)"},
                                                        {13, "    Port 1|Disk (Hot Spare Disk)"},
                                                        {12, "    Port 2|Disk (RAID Disk)"},
                                                        {1, "    Port 3|Disk"}};
  int number = 0;
  for (const auto& [type, text] : roles) {
    Unit unit;
    unit.number = number;
    unit.type = type;
    unit.sectors = 2048;
    unit.port = static_cast<std::uint8_t>(number);
    controller.units.push_back(unit);
    ++number;
  }
  Scan();
  std::vector<std::string> rows = Rows(0);
  ASSERT_EQ(rows.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[static_cast<std::size_t>(i)].rfind(roles[i].second, 0), 0u)
        << rows[static_cast<std::size_t>(i)];
  }
  EXPECT_EQ(Kinds(0), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(InventoryScanTest, RowCountFollowsTheRowsFilledWhateverTheUnitCountSays) {
  auto& controller = SingleController();
  controller.units.push_back(Raid(0, 1, {0, 1}));
  controller.unitCount = 9;
  Scan();
  EXPECT_EQ((*records)[0].rowCount, 3);
  controller.unitCount = 0;
  Scan(0);
  EXPECT_EQ((*records)[0].rowCount, 3);
}

TEST_F(InventoryScanTest, FailedPresenceOrUnitCountReadLeavesNoRowsOfAnEarlierScan) {
  auto& controller = SingleController();
  controller.units.push_back(Raid(0, 5, {0, 1, 2}));
  Scan();
  ASSERT_EQ((*records)[0].rowCount, 4);

  controller.faults.parameters[{3, 2}] = emulator::ParameterFault{0x0C, 0, false};
  Scan(0);
  EXPECT_EQ((*records)[0].rowCount, 4);  // the presence map still tells the units

  controller.faults.parameters[{3, 3}] = emulator::ParameterFault{0x0C, 0, false};
  Scan(0);
  EXPECT_EQ((*records)[0].rowCount, 0);
  for (int i = 0; i < kDisplayRows; ++i) {
    EXPECT_EQ(Row((*records)[0].Rows()[i]), "|||||") << i;
  }
}

TEST_F(InventoryScanTest, FailedDescriptorReadGivesTheUnitNoRows) {
  auto& controller = SingleController();
  controller.units.push_back(Raid(0, 5, {0, 1, 2}));
  controller.units.push_back(Raid(1, 1, {3, 4}));
  controller.faults.parameters[{0x300, 6}] = emulator::ParameterFault{0x0C, 0, false};
  Scan();
  EXPECT_EQ((*records)[0].rowCount, 3);
  EXPECT_EQ(std::string((*records)[0].Rows()[0].nameText.data()), "Array Unit 1");
}

TEST_F(InventoryScanTest, LaterScanClearsRowsItDoesNotRewrite) {
  auto& controller = SingleController();
  controller.units.push_back(Raid(0, 5, {0, 1, 2}));
  Scan();
  controller.units[0] = Raid(0, 1, {0, 1});
  Scan(0);
  EXPECT_EQ((*records)[0].rowCount, 3);
  EXPECT_EQ(Row((*records)[0].Rows()[3]), "|||||");
  EXPECT_EQ((*records)[0].Rows()[3].kind, 0);
  // Mirror members have a status text, RAID 5 ones too; RAID 0 ones none.
  controller.units[0] = Raid(0, 0, {0, 1});
  Scan(0);
  EXPECT_EQ(std::string((*records)[0].Rows()[1].statusText.data()), "");
}

TEST_F(InventoryScanTest, ControllerThatNoLongerOpensShowsNoOldRows) {
  auto& controller = SingleController();
  controller.units.push_back(Raid(0, 5, {0, 1, 2}));
  Scan();
  ASSERT_EQ((*records)[0].rowCount, 4);
  // The list still finds it; the scan's own driver query fails (the third
  // of the scan: the list, the record's list, the record's query).
  faulty.FailDriverQuery("\\\\.\\Scsi0:", 6, platform::ERROR_GEN_FAILURE);
  ScanOutcome outcome;
  Scan(0, &outcome);
  EXPECT_EQ((*records)[0].rowCount, 0);
  EXPECT_EQ(outcome.queryFailures, 1);
  EXPECT_EQ(device.OpenHandles(), 0);
}

TEST_F(InventoryScanTest, DriverQueryFailureClosesBeforeTheBoxIsShown) {
  SingleController();
  faulty.FailDriverQuery("\\\\.\\Scsi0:", 3, platform::ERROR_GEN_FAILURE);
  SetErrorBoxesEnabled(true);
  int openAtBox = -1;
  struct Boxes : RecordingMessageBoxes {
    std::function<void()> onShow;
    int MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                    platform::UINT type) override {
      onShow();
      return RecordingMessageBoxes::MessageBoxA(owned, text, caption, type);
    }
  } watching;
  watching.onShow = [&] { openAtBox = device.OpenHandles(); };
  context.messageBoxes = &watching;
  auto own = std::make_unique<ControllerRecords>(context);
  ScanControllers(1, *own);
  ASSERT_EQ(watching.shown.size(), 1u);
  EXPECT_EQ(openAtBox, 0);
  EXPECT_EQ(watching.shown[0].caption, "Zelka Error Message");
  EXPECT_FALSE(watching.shown[0].owned);
  EXPECT_EQ(watching.shown[0].type, platform::MB_ICONERROR);
  EXPECT_EQ(watching.shown[0].text.rfind("Error querying driver for controller 0, ", 0), 0u);
}

struct LevelCase {
  std::uint16_t level;
  bool accepted;
  const char* phrase;
};

TEST_F(InventoryScanTest, DriverLevelCheck) {
  const LevelCase cases[] = {{0, false, "The Kivo version is more recent than the driver."},
                             {1, true, ""},
                             {6, true, ""},
                             {7, false, "The Kivo version is older than the driver."},
                             {0xFFFF, false, "The Kivo version is older than the driver."}};
  for (const auto& c : cases) {
    for (bool boxesOn : {false, true}) {
      DefaultWorld();
      for (auto& controller : world.controllers) controller.level = c.level;
      // Level 0 with extra 0: Open waits for the driver in vain, and goes on.
      for (auto& controller : world.controllers) controller.extra = c.level == 0 ? 0 : 1;
      auto own = std::make_unique<ControllerRecords>(context);
      boxes.shown.clear();
      SetErrorBoxesEnabled(boxesOn);
      ScanOutcome outcome;
      ScanControllers(1, *own, &outcome);
      std::string report = ReportText().Text();
      EXPECT_EQ(outcome.levelMismatch, !c.accepted) << c.level;
      if (c.accepted) {
        EXPECT_EQ(outcome.controllersScanned, 2) << c.level;
        EXPECT_TRUE(boxes.shown.empty());
        continue;
      }
      EXPECT_NE(report.find(c.phrase), std::string::npos) << c.level;
      EXPECT_EQ(report.find("Controller SCSI ID"), std::string::npos);
      EXPECT_EQ(std::string((*own)[0].FirmwareText()), "");
      EXPECT_FALSE((*own)[0].HasTables());
      EXPECT_EQ(boxes.shown.size(), boxesOn ? 1u : 0u) << c.level;
      if (boxesOn) {
        EXPECT_NE(boxes.shown[0].text.find(kSupportAddress), std::string::npos);
      }
    }
  }
}

TEST_F(InventoryScanTest, VersionTextOfThreeCharactersAndZeros) {
  auto& controller = SingleController();
  controller.parameters[{0x402, 3}] = Bytes{'1', '.', '2', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::string report = Scan();
  EXPECT_NE(report.find("\r\nFirmware: 1.2\r\n"), std::string::npos);
  EXPECT_EQ(std::string((*records)[0].FirmwareText()), "1.2");
}

TEST_F(InventoryScanTest, FullWidthVersionTextEndsAfterItsBytes) {
  auto& controller = SingleController();
  controller.parameters[{0x402, 6}] = Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
  std::string report = Scan();
  EXPECT_NE(report.find("\r\nA Chip: ABCDEFGH\r\n"), std::string::npos);
  EXPECT_EQ(std::string((*records)[0].AChipText()), "ABCDEFGH");
}

TEST_F(InventoryScanTest, UnreadableVersionIsUnknownInTheRecordAndNoBox) {
  auto& controller = SingleController();
  controller.faults.parameters[{0x402, 4}] = emulator::ParameterFault{0x0C, 0, false};
  SetErrorBoxesEnabled(true);
  std::string report = Scan();
  EXPECT_EQ(std::string((*records)[0].BiosText()), "Unknown");
  EXPECT_NE(report.find("\r\nError querying BIOS, Command packet status 0xc (ad005)\r\n"), std::string::npos);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(InventoryScanTest, ServiceVersionFromTheRegistry) {
  std::array<char, 128> out{};
  CopyText(out, "unchanged");
  EXPECT_EQ(ReadServiceVersion(context, out), 1);  // no key
  EXPECT_EQ(std::string(out.data()), "unchanged");

  registry.SetDword(platform::HKEY_LOCAL_MACHINE, kServiceKeyPath, "Service Version", 7);
  EXPECT_EQ(ReadServiceVersion(context, out), 1);  // not a string
  EXPECT_EQ(registry.OpenHandles(), 0);

  registry.SetString(platform::HKEY_LOCAL_MACHINE, kServiceKeyPath, "Service Version", "2.3.0.11");
  EXPECT_EQ(ReadServiceVersion(context, out), 0);
  EXPECT_EQ(std::string(out.data()), "2.3.0.11");
  EXPECT_EQ(registry.OpenHandles(), 0);

  registry.SetString(platform::HKEY_LOCAL_MACHINE, kServiceKeyPath, "Service Version", std::string(300, 'v'));
  EXPECT_EQ(ReadServiceVersion(context, out), 0);
  EXPECT_EQ(std::string(out.data()), std::string(127, 'v'));
}

// Whatever the controller says about its units, the scan stays inside the
// descriptor bytes and the 64 rows (run under AddressSanitizer by the test
// script), and every text stays terminated.
TEST_F(InventoryScanTest, ArbitraryDescriptorsStayInBounds) {
  auto& controller = SingleController();
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int mostRows = 0;
  for (int round = 0; round < 60; ++round) {
    controller.units.clear();
    for (int n = 0; n < 16; ++n) {
      if (next() % 4 == 0) continue;
      Unit unit;
      unit.number = n;
      unit.type = static_cast<std::uint8_t>(
          next() % 3 == 0 ? next() % 256 : std::array<int, 8>{0, 1, 2, 5, 6, 12, 13, 15}[next() % 8]);
      unit.status = static_cast<std::uint8_t>(next());
      unit.sectors = next();
      Bytes raw(next() % 253);
      for (auto& byte : raw) byte = static_cast<std::uint8_t>(next() % 5 == 0 ? 0xFF : next() % 12);
      if (!raw.empty()) raw[0] = static_cast<std::uint8_t>(next() % 40);
      unit.rawDescriptor = raw;
      if (next() % 3 == 0) unit.descriptorSize = static_cast<std::uint16_t>(next());
      controller.units.push_back(unit);
    }
    Scan(round == 0 ? 1 : 0);
    const ControllerInfo& info = (*records)[0];
    ASSERT_GE(info.rowCount, 0);
    ASSERT_LE(info.rowCount, kDisplayRows);
    mostRows = std::max(mostRows, info.rowCount);
    for (int i = 0; i < kDisplayRows; ++i) {
      const DisplayRow& row = info.Rows()[i];
      for (const auto* text : {&row.typeText, &row.serialText, &row.sizeText, &row.statusText,
                               &row.sectorsText, &row.nameText}) {
        ASSERT_NE(std::find(text->begin(), text->end(), '\0'), text->end());
      }
      if (i >= info.rowCount) {
        ASSERT_EQ(Row(row), "|||||");
      }
    }
  }
  EXPECT_EQ(mostRows, kDisplayRows);  // the rounds did reach the bound
}

TEST_F(InventoryScanTest, NoControllerTouchesNoRecord) {
  std::string report = Scan();
  EXPECT_FALSE((*records)[0].HasTables());
  EXPECT_NE(report.find("Disk controller not present or unreachable.\r\n"), std::string::npos);
  EXPECT_EQ(report.substr(report.size() - 8), "zed.\r\n\r\n");
}

}  // namespace
}  // namespace kivo::test
