// The event catalogue: every row's body with unit 7 and controller 3, the
// frame of the line, the help texts of degraded and incomplete arrays, and
// the row for codes the table does not know.
#include "monitor/EventCatalogue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "support/FakeClock.h"

namespace kivo::test {
namespace {

const std::string kTime = "Sun Sep 09 01:46:40 2001";

class EventCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  FakeClock clock_;  // Sun Sep 09 01:46:40 2001 UTC
};

// Code -> body with unit 7 and controller 3.
const std::map<unsigned, std::string>& Bodies() {
  static const std::map<unsigned, std::string> bodies = {
      {0, "Queue is empty. Nothing to report."},
      {1, "Software has been reset on controller ID:3."},
      {2, "Disk Array Unit 7 on controller ID:3 is degraded and no longer fault tolerant."},
      {3, "Controller ID:3 error."},
      {4, "Rebuild/Initialization failed on unit 7 on controller ID:3."},
      {5, "Rebuild is complete on unit 7 on controller ID:3."},
      {6, "Disk Array Unit 7 on controller ID:3 is incomplete and no longer fault tolerant."},
      {7, "Initialization is complete on unit 7 on controller ID:3."},
      {8, "Unexpected shut down or power loss detected on unit 7 on controller ID:3."},
      {9, "Drive timeout encountered on unit 7 on controller ID:3."},
      {10, "Drive error encountered on unit 7 on controller ID:3."},
      {11, "Rebuild started on unit 7 on controller ID:3."},
      {12, "Initialization started on unit 7 on controller ID:3."},
      {13, "Unit 7 removed or deleted from controller ID:3."},
      {15, "SMART Threshold Exceeded condition detected on port 7 on controller ID:3."},
      {33, "Drive cable CRC error detected on port 7 on controller ID:3."},
      {34, "UDMA transfer speed upgraded on port 7 on controller ID:3."},
      {35, "Drive sector ECC error corrected on port 7 on controller ID:3."},
      {36, "Buffer integrity check failed on controller ID:3."},
      {37, "Write cache error occurred after degrade on unit 7 on controller ID:3."},
      {38, "An ECC data error occurred on port 7 on controller ID:3."},
      {39,
       "Checksum failed for RAID configuration data on port 7 on controller ID:3.  Please contact Zelka tech "
       "support."},
      {40, "Incorrect or incompatible RAID configuration data present on port 7 on controller ID:3."},
      {41, "Verify started on unit 7 on controller ID:3."},
      {42, "Verify failed on unit 7 on controller ID:3."},
      {43, "Verify is complete on unit 7 on controller ID:3."},
      {44, "Bad sector has been reallocated during rebuild on port 7 on controller ID:3."},
      {45, "Bad sector detected on source drive of rebuild on port 7 on controller ID:3."},
      {46, "Replacement Drive is smaller than original drive on port 7 on controller ID:3."},
      {47,
       "Verify error on unit 7 on controller ID 3 because array has not been previously initialized.  The "
       "array "
       "is now automatically set to initializing state."},
      {48, "Drive not supported on port 7 on controller ID:3. Drive is not UDAM 100/133."},
      {255, "Queue is full."},
  };
  return bodies;
}

std::string OtherBody(unsigned code) {
  return "AEN code:" + std::to_string(code) +
         ". You may need to update your version of Kivo. \r\nPlease see web interface or help documentation "
         "for more "
         "information.";
}

TEST_F(EventCatalogueTest, EveryCodeGivesItsRowInTheFrame) {
  for (unsigned code = 0; code <= 255; ++code) {
    auto row = Bodies().find(code);
    bool known = row != Bodies().end();
    bool other = code == 14 || (code >= 16 && code <= 32) || (code >= 49 && code <= 254);
    ASSERT_NE(known, other) << code;
    std::string body = known ? row->second : OtherBody(code);
    std::string tail = (code == 2 || code == 6)
                           ? std::string(" \r\n\r\n") + FaultToleranceHelp + RecoveryOptionsHelp
                           : std::string("\r\n");
    EXPECT_EQ(DescribeEvent(clock_, code, 7, 3), "TIME: " + kTime + " MESSAGE: " + body + tail) << code;
    EXPECT_EQ(EventBody(code, 7, 3), body) << code;
  }
}

TEST_F(EventCatalogueTest, HelpTextsAreWhole) {
  EXPECT_EQ(std::strlen(FaultToleranceHelp), 225u);
  EXPECT_EQ(std::strlen(RecoveryOptionsHelp), 863u);
  EXPECT_EQ(std::string(FaultToleranceHelp).substr(0, 40), "Fault tolerant disk arrays become degrad");
  EXPECT_EQ(std::string(FaultToleranceHelp).substr(206), "FAULT TOLERANT.\r\n\r\n");
  EXPECT_EQ(RecoveryOptionsHelp[0], ' ');
  EXPECT_EQ(std::string(RecoveryOptionsHelp).substr(0, 69),
            " When an array is degraded or incomplete you have several options: \r\n");
  EXPECT_NE(std::string(RecoveryOptionsHelp).find("Zelka Disk Array Configuration Utility BIOS extension."),
            std::string::npos);
  EXPECT_EQ(std::string(RecoveryOptionsHelp).substr(863 - 90),
            "4. DO NOTHING and continue operating with the array functional but not fault tolerant.\r\n\r\n");
}

TEST_F(EventCatalogueTest, DegradedArrayLineIsNotCut) {
  std::string line = DescribeEvent(clock_, 2, 1, 0);
  const std::string head = "TIME: " + kTime +
                           " MESSAGE: Disk Array Unit 1 on controller ID:0 is degraded and no longer fault "
                           "tolerant. \r\n\r\nFault tolerant";
  EXPECT_EQ(line.substr(0, head.size()), head);
  EXPECT_EQ(line.size(), 6 + kTime.size() + 10 + 78 + 5 + 225 + 863);
  EXPECT_GT(line.size(), 1200u);
  const std::string end = "array functional but not fault tolerant.\r\n\r\n";
  EXPECT_EQ(line.substr(line.size() - end.size()), end);
}

TEST_F(EventCatalogueTest, EdgeValues) {
  // The unit byte is not shown by controller-only rows, the queue rows or the other row.
  for (unsigned code : {1u, 3u, 36u}) {
    EXPECT_EQ(EventBody(code, 200, 4), EventBody(code, 0, 4)) << code;
  }
  EXPECT_EQ(DescribeEvent(clock_, 255, 99, 11), "TIME: " + kTime + " MESSAGE: Queue is full.\r\n");
  EXPECT_EQ(EventBody(14, 200, 1), OtherBody(14));
  EXPECT_EQ(EventBody(200, 14, 1), OtherBody(200));
  EXPECT_EQ(EventBody(9, 255, 11), "Drive timeout encountered on unit 255 on controller ID:11.");
  EXPECT_EQ(EventBody(47, 0, 5).find("controller ID 5 because"), 26u);
  EXPECT_EQ(EventBody(5, 0, 0), "Rebuild is complete on unit 0 on controller ID:0.");
}

TEST_F(EventCatalogueTest, TheClockIsReadForEachLine) {
  std::string first = DescribeEvent(clock_, 9, 1, 0);
  clock_.Advance(61 * 1000);
  std::string second = DescribeEvent(clock_, 9, 1, 0);
  EXPECT_EQ(first.substr(0, 30), "TIME: Sun Sep 09 01:46:40 2001");
  EXPECT_EQ(second.substr(0, 30), "TIME: Sun Sep 09 01:47:41 2001");
}

}  // namespace
}  // namespace kivo::test
