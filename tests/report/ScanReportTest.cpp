// Whole disk information reports, byte for byte against golden files: the
// report a scan leaves in ReportText for each world of tests/report/worlds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "report/Golden.h"
#include "report/ScanFixture.h"
#include "report/Snapshot.h"

namespace kivo::test {
namespace {

constexpr char kProductKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

class ScanReportTest : public ScanFixture {};

TEST_F(ScanReportTest, DefaultWorld) {
  DefaultWorld();
  ExpectGolden("default.txt", Scan());
}

TEST_F(ScanReportTest, NoController) {
  LoadWorld("none.json");
  ExpectGolden("none.txt", Scan());
  EXPECT_EQ(MachineInfo().ControllerCount(), 0);
}

TEST_F(ScanReportTest, TwoControllers) {
  LoadWorld("two-controllers.json");
  ExpectGolden("two-controllers.txt", Scan());
  EXPECT_EQ(MachineInfo().ControllerCount(), 2);
  EXPECT_EQ(MachineInfo().ControllerIdAt(0), 1);
  EXPECT_EQ(MachineInfo().ControllerIdAt(1), 4);
  EXPECT_EQ(MachineInfo().ControllerIdAt(2), -1);
}

TEST_F(ScanReportTest, Raid10WithInaccessibleDrives) {
  LoadWorld("raid10.json");
  ExpectGolden("raid10.txt", Scan());
}

TEST_F(ScanReportTest, MemberOnPortNine) {
  LoadWorld("port9.json");
  ExpectGolden("port9.txt", Scan());
}

// Units the controller does not describe show no rows, and the table ends
// after its 64 rows: the faces read more than the report shows.
TEST_F(ScanReportTest, UnitsNotDescribedAndMoreThanTheTable) {
  LoadWorld("unread-units.json");
  ExpectGolden("unread-units.txt", Scan());
}

struct LevelCase {
  std::uint16_t level;
  const char* golden;
  bool box;
};

TEST_F(ScanReportTest, DriverLevels) {
  const LevelCase cases[] = {
      {0, "level0.txt", true}, {1, "level1.txt", false}, {6, "level6.txt", false}, {7, "level7.txt", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.golden);
    DefaultWorld();
    for (auto& controller : world.controllers) controller.level = c.level;
    boxes.shown.clear();
    SetErrorBoxesEnabled(true);
    ExpectGolden(c.golden, Scan());
    ASSERT_EQ(boxes.shown.size(), c.box ? 1u : 0u);
    if (c.box) {
      std::string report = ReportText().Text();
      // The box shows the message the report ends with.
      EXPECT_EQ(report.substr(report.size() - boxes.shown[0].text.size() - 2), boxes.shown[0].text + "\r\n");
      EXPECT_EQ(boxes.shown[0].caption, "Zelka Error Message");
    }
  }
}

TEST_F(ScanReportTest, ControllerThatFailsToOpen) {
  LoadWorld("two-controllers.json");
  // The list and both records' lists open it; the scan's own open fails.
  faulty.FailOpen("\\\\.\\Scsi4:", 4, platform::ERROR_ACCESS_DENIED);
  SetErrorBoxesEnabled(true);
  ScanOutcome outcome;
  ExpectGolden("open-failure.txt", Scan(1, &outcome));
  EXPECT_EQ(outcome.openFailures, 1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text.rfind("Error opening controller 4, ", 0), 0u);
}

TEST_F(ScanReportTest, DeviceMissingFromARecordsListKeepsItsId) {
  LoadWorld("two-controllers.json");
  // Record 1's own list misses the device; the controller is still 4.
  faulty.FailOpen("\\\\.\\Scsi4:", 3, platform::ERROR_FILE_NOT_FOUND);
  std::string report = Scan();
  EXPECT_NE(report.find("\r\nController SCSI ID: 4\r\nDriver: "), std::string::npos);
  EXPECT_EQ(report.find("ID: -1"), std::string::npos);
}

TEST_F(ScanReportTest, DriverThatFailsTheQuery) {
  LoadWorld("two-controllers.json");
  faulty.FailDriverQuery("\\\\.\\Scsi1:", 3, platform::ERROR_GEN_FAILURE);
  ScanOutcome outcome;
  ExpectGolden("query-failure.txt", Scan(1, &outcome));
  EXPECT_EQ(outcome.queryFailures, 1);
  EXPECT_TRUE(boxes.shown.empty());  // error boxes disabled
  EXPECT_EQ(device.OpenHandles(), 0);
}

TEST_F(ScanReportTest, ControllerThatFailsToClose) {
  LoadWorld("none.json");
  {
    std::lock_guard lock(world.mutex);
    emulator::BuildDefaultWorld(world);
    world.controllers.pop_back();
  }
  faulty.FailClose(platform::ERROR_INVALID_HANDLE);
  ExpectGolden("close-failure.txt", Scan());
}

TEST_F(ScanReportTest, VersionParametersThatCannotBeRead) {
  LoadWorld("faults.json");
  ExpectGolden("version-faults.txt", Scan());
  EXPECT_EQ(std::string((*records)[0].BiosText()), "Unknown");
  EXPECT_EQ(std::string((*records)[0].PChipText()), "Unknown");
  EXPECT_EQ(std::string((*records)[0].MonitorText()), "ZM 2.01.004");
}

TEST_F(ScanReportTest, ServiceVersionWhenThereIsNoVirtualDevice) {
  DefaultWorld();
  registry.SetString(platform::HKEY_LOCAL_MACHINE, kServiceKeyPath, "Service Version", "2.3.0.11");
  ExpectGolden("service.txt", Scan());
}

TEST_F(ScanReportTest, VirtualDeviceTextWinsOverTheServiceVersion) {
  LoadWorld("virtual.json");
  host.SetVersion(4, 10, 67766222, platform::VER_PLATFORM_WIN32_WINDOWS, " A ");
  registry.SetString(platform::HKEY_LOCAL_MACHINE, kServiceKeyPath, "Service Version", "2.3.0.11");
  std::string report = Scan();
  ExpectGolden("vsd.txt", report);
  EXPECT_EQ(report.find("Service: "), std::string::npos);
}

TEST_F(ScanReportTest, WindowsNtHostDescription) {
  LoadWorld("none.json");
  host.SetVersion(4, 0, 1381, platform::VER_PLATFORM_WIN32_NT, "Service Pack 6");
  registry.SetString(platform::HKEY_LOCAL_MACHINE, kProductKey, "ProductType", "LANMANNT");
  ExpectGolden("nt4.txt", Scan());
  EXPECT_EQ(std::string(MachineInfo().OsText()),
            "Microsoft Windows NT Advanced Server 4.0 (Build 1381) Service Pack 6");
}

// Host facts whose first version requests fail: the full description cannot
// be built, the fallback then reads the version.
class FlakyHostFacts : public FakeHostFacts {
 public:
  platform::BOOL GetVersionExA(platform::OSVERSIONINFOA* info) override {
    if (failures > 0) {
      --failures;
      platform::SetLastError(platform::ERROR_GEN_FAILURE);
      return platform::FALSE;
    }
    return FakeHostFacts::GetVersionExA(info);
  }
  int failures = 1;
};

TEST_F(ScanReportTest, FallbackHostTextOfWindows95CarriesTheWarning) {
  LoadWorld("none.json");
  FlakyHostFacts flaky;
  flaky.SetVersion(4, 0, 0x040003B6, platform::VER_PLATFORM_WIN32_WINDOWS, "C");
  context.host = &flaky;
  auto own = std::make_unique<ControllerRecords>(context);
  ScanControllers(1, *own);
  ExpectGolden("fallback-95.txt", ReportText().Text());
  EXPECT_EQ(std::string(MachineInfo().OsText()), "Microsoft Windows 95 4.00 (Build 950) C");
}

TEST_F(ScanReportTest, HostThatCannotTellItsVersion) {
  LoadWorld("none.json");
  host.versionFails = true;
  host.nameFails = true;
  ExpectGolden("unknown-host.txt", Scan());
  EXPECT_EQ(std::string(MachineInfo().OsText()), "Unable to determine operating system version\r\n");
}

TEST_F(ScanReportTest, SecondScanLeavesExactlyOneHeader) {
  DefaultWorld();
  std::string first = Scan();
  ReportText().Append("TIME: Sun Sep 09 01:46:40 2001 MESSAGE: an event line\r\n");
  std::string second = Scan(0);
  EXPECT_EQ(second, first);
  std::size_t header = second.find("Kivo Disk Management Utility");
  EXPECT_EQ(header, 0u);
  EXPECT_EQ(second.find("Kivo Disk Management Utility", header + 1), std::string::npos);
}

TEST_F(ScanReportTest, SnapshotAfterTwoEventsHoldsTheReportAndTheSecondLineOnly) {
  DefaultWorld();
  const std::string first =
      "TIME: Sun Sep 09 01:46:40 2001 MESSAGE: Drive timeout encountered on unit 1.\r\n";
  const std::string second = "TIME: Sun Sep 09 01:47:00 2001 MESSAGE: Rebuild started on unit 0.\r\n";
  Scan();
  ReportText().Append(first.c_str());
  clock.Advance(20000);
  std::string report = Scan(0);
  ReportText().Append(second.c_str());

  char pattern[] = "/tmp/kivo-scan-snapshot-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  std::string path = std::string(pattern) + "/data.txt";
  SnapshotTo(context, path);
  std::string written = ReadWhole(path);
  ::unlink(path.c_str());
  ::rmdir(pattern);
  EXPECT_EQ(written, report + second);
  EXPECT_NE(written.find("gathered at Sun Sep 09 01:47:00 2001\r\n"), std::string::npos);
  EXPECT_EQ(written.find("Drive timeout"), std::string::npos);
  ASSERT_EQ(launcher.textFiles.size(), 1u);
}

}  // namespace
}  // namespace kivo::test
