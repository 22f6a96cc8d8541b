// The snapshot file after a degraded-array event: the fresh report followed
// by the whole multi-paragraph event line, help texts included, uncut.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "monitor/EventCatalogue.h"
#include "report/ScanFixture.h"
#include "report/Snapshot.h"

namespace kivo::test {
namespace {

class SnapshotEventTest : public ScanFixture {
 protected:
  std::string SnapshotText() {
    char pattern[] = "/tmp/kivo-snapshot-event-XXXXXX";
    EXPECT_NE(::mkdtemp(pattern), nullptr);
    std::string path = std::string(pattern) + "/data.txt";
    SnapshotTo(context, path);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    ::unlink(path.c_str());
    ::rmdir(pattern);
    return text.str();
  }
};

TEST_F(SnapshotEventTest, DegradedArrayEventEndsTheFileWithTheWholeMessage) {
  DefaultWorld();
  const std::string report = Scan();
  const std::string line = DescribeEvent(clock, 2, 1, 0);
  ReportText().Append(line.c_str());

  const std::string written = SnapshotText();
  EXPECT_EQ(written, report + line);
  const std::string tail =
      "TIME: Sun Sep 09 01:46:40 2001 MESSAGE: Disk Array Unit 1 on controller ID:0 is "
      "degraded and no longer fault tolerant. \r\n\r\n" +
      std::string(FaultToleranceHelp) + RecoveryOptionsHelp;
  ASSERT_GE(written.size(), tail.size());
  EXPECT_EQ(written.substr(written.size() - tail.size()), tail);
  EXPECT_EQ(written.substr(written.size() - 44), "array functional but not fault tolerant.\r\n\r\n");
  ASSERT_EQ(launcher.textFiles.size(), 1u);
}

}  // namespace
}  // namespace kivo::test
