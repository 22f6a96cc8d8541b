// The report header, the fallback host text and MachineInfo.
#include "report/DiskReport.h"

#include <gtest/gtest.h>

#include <string>

#include "report/ProgramVersion.h"
#include "report/ScanFixture.h"

namespace kivo::test {
namespace {

class DiskReportTest : public ScanFixture {
 protected:
  std::string Fallback() {
    ReportText().Clear();
    FallbackOsText(context);
    return ReportText().Text();
  }
};

struct FallbackCase {
  platform::DWORD major, minor, build, platformId;
  const char* servicePack;
  const char* osText;
  bool warning;
};

TEST_F(DiskReportTest, FallbackTextOfEveryPlatform) {
  const FallbackCase cases[] = {
      {3, 10, 0, 0, "",
       "Operating System Info: major 3 minor 10 build 0 platform 0\r\nMicrosoft Windows 3.1 (Win32s)", false},
      {4, 0, 0x040003B6, 1, "", "Microsoft Windows 95 4.00 (Build 950)", true},
      {4, 10, 67766222, 1, " A ", "Microsoft Windows 98 4.10.1998  A ", false},
      {4, 90, 3000, 1, "", "Microsoft Windows ME 4.90.3000", false},
      {4, 3, 7, 1, "", "Operating System Info: major 4 minor 3 build 7 platform 1\r\nMicrosoft Windows",
       false},
      {5, 1, 2600, 2, "Service Pack 2", "Microsoft Windows 2000 (5.1 Build 2600) Service Pack 2", false},
      {4, 0, 1381, 2, "", "Microsoft Windows NT 4.0 (Build 1381)", false},
      {6, 1, 7601, 2, "", "Microsoft Windows NT 6.1 (Build 7601)", false},
      {6, 1, 0, platform::VER_PLATFORM_LINUX, "",
       "Operating System Info: major 6 minor 1 build 0 platform 19544\r\nMicrosoft Windows", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.osText);
    host.SetVersion(c.major, c.minor, c.build, c.platformId, c.servicePack);
    std::string report = Fallback();
    EXPECT_EQ(std::string(MachineInfo().OsText()), c.osText);
    std::string warning =
        c.warning ? "\r\n\r\n!!! IMPORTANT:  This program is not yet fully functional on this platform!!!\r\n"
                  : "";
    EXPECT_EQ(report, std::string(c.osText) + warning + "\r\n\r\n");
  }
}

TEST_F(DiskReportTest, FallbackWithoutAVersionEndsInThreeLineEnds) {
  host.versionFails = true;
  EXPECT_EQ(Fallback(), "Unable to determine operating system version\r\n\r\n\r\n");
  EXPECT_EQ(std::string(MachineInfo().OsText()), "Unable to determine operating system version\r\n");
}

TEST_F(DiskReportTest, HeaderLinesOnThisHost) {
  BuildReportHeader(context);
  std::string expected = std::string("Kivo Disk Management Utility ") + ProgramVersionText() + " " +
                         kLegalNotice +
                         "\r\nZelka Disk information gathered at Sun Sep 09 01:46:40 2001\r\n" +
                         host.description + "\r\n\r\nComputer Name: testhost\r\n\r\n";
  EXPECT_EQ(std::string(ReportText().Text()), expected);
  EXPECT_EQ(std::string(MachineInfo().TimeText()), "Sun Sep 09 01:46:40 2001");
  EXPECT_EQ(std::string(MachineInfo().ComputerName()), "testhost");
  EXPECT_EQ(std::string(MachineInfo().OsText()), host.description);
}

TEST_F(DiskReportTest, ProgramVersionIsFourNumbers) {
  std::string version = ProgramVersionText();
  int dots = 0;
  for (char c : version) {
    if (c == '.') {
      ++dots;
    } else {
      EXPECT_TRUE(c >= '0' && c <= '9') << version;
    }
  }
  EXPECT_EQ(dots, 3) << version;
  EXPECT_EQ(std::string(kLegalNotice).find('\n'), std::string::npos);
}

struct HostCase {
  platform::DWORD major, minor, build, platformId;
  const char* servicePack;
  const char* productType;  // registry value, or null for none
  const char* line;
};

TEST_F(DiskReportTest, WindowsHostDescriptionsInTheHeader) {
  const HostCase cases[] = {
      {4, 0, 1381, 2, "Service Pack 6", "WINNT",
       "Microsoft Windows NT Workstation 4.0 (Build 1381) Service Pack 6"},
      {5, 0, 2195, 2, "", "WINNT", "Microsoft Windows 2000 Professional (5.0 Build 2195)"},
      {5, 1, 2600, 2, "", "WINNT", "Microsoft Windows XP  (5.1 Build 2600)"},
      {5, 0, 2195, 2, "", nullptr, "Microsoft Windows 2000 (unknown version, a) (5.0 Build 2195)"},
      {4, 10, 67766222, 1, "", nullptr, "Microsoft Windows 98 4.10.1998"},
      {3, 10, 0, 0, "", nullptr, "Microsoft Windows 3.1 (Win32s)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    MemoryRegistry fresh;
    if (c.productType != nullptr) {
      fresh.SetString(platform::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                      "ProductType", c.productType);
    }
    context.registry = &fresh;
    host.SetVersion(c.major, c.minor, c.build, c.platformId, c.servicePack);
    BuildReportHeader(context);
    std::string report = ReportText().Text();
    EXPECT_NE(report.find(std::string("\r\n") + c.line + "\r\n\r\nComputer Name: "), std::string::npos)
        << report;
    EXPECT_EQ(std::string(MachineInfo().OsText()), c.line);
    context.registry = &registry;
  }
}

TEST_F(DiskReportTest, LongDescriptionIsCutTo255InMachineInfoOnly) {
  host.description = std::string(300, 'd');
  BuildReportHeader(context);
  EXPECT_EQ(std::string(MachineInfo().OsText()), std::string(255, 'd'));
  EXPECT_NE(std::string(ReportText().Text()).find(std::string(300, 'd') + "\r\n\r\n"), std::string::npos);
  MachineInfo().SetOsText(std::string(1000, 'e').c_str());
  EXPECT_EQ(std::string(MachineInfo().OsText()).size(), 255u);
}

TEST_F(DiskReportTest, ComputerNameKeepsTheLastGoodName) {
  EXPECT_EQ(std::string(ReadComputerName(context)), "testhost");
  host.nameFails = true;
  EXPECT_EQ(std::string(ReadComputerName(context)), "testhost");
  host.nameFails = false;
  host.name = "FIFTEENCHARNAME";
  EXPECT_EQ(std::string(ReadComputerName(context)), "FIFTEENCHARNAME");
  // A name that does not fit the 16-character buffer is not read.
  host.name = "SIXTEENCHARNAMES";
  EXPECT_EQ(std::string(ReadComputerName(context)), "FIFTEENCHARNAME");
}

TEST_F(DiskReportTest, NoNameEverReadLeavesItEmpty) {
  host.nameFails = true;
  BuildReportHeader(context);
  EXPECT_NE(std::string(ReportText().Text()).find("\r\nComputer Name: \r\n\r\n"), std::string::npos);
}

TEST_F(DiskReportTest, TimeTextFollowsTheClock) {
  EXPECT_EQ(std::string(TakeTimeText(context)), "Sun Sep 09 01:46:40 2001");
  clock.Advance(86400000);
  EXPECT_EQ(std::string(TakeTimeText(context)), "Mon Sep 10 01:46:40 2001");
  EXPECT_EQ(std::string(MachineInfo().TimeText()), "Mon Sep 10 01:46:40 2001");
}

TEST_F(DiskReportTest, CollectControllerIdsCopiesTheList) {
  DefaultWorld();
  EXPECT_EQ(CollectControllerIds(*records), 0);
  EXPECT_EQ(MachineInfo().ControllerCount(), 2);
  EXPECT_EQ(MachineInfo().ControllerIdAt(0), 0);
  EXPECT_EQ(MachineInfo().ControllerIdAt(1), 1);
  EXPECT_EQ(MachineInfo().ControllerIdAt(-1), -1);
  {
    std::lock_guard lock(world.mutex);
    world.controllers.clear();
  }
  EXPECT_EQ(CollectControllerIds(*records), 0);
  EXPECT_EQ(MachineInfo().ControllerCount(), 0);
  EXPECT_EQ(MachineInfo().ControllerIdAt(0), -1);
}

}  // namespace
}  // namespace kivo::test
