// Prometheus metrics of a scan: the whole text for the default machine
// against a golden file, what each kind of trouble turns into, and the
// atomic write into a temporary directory (unwritable places are tried on
// kivo-report itself by tests/packaging).
#include "report/PrometheusMetrics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "report/Golden.h"
#include "report/ScanFixture.h"
#include "support/TempDir.h"

namespace kivo::test {
namespace {

class PrometheusMetricsTest : public ScanFixture {
 protected:
  std::string Metrics() {
    ScanOutcome outcome;
    Scan(1, &outcome);
    return PrometheusMetrics::Render(*records, outcome);
  }
};

TEST_F(PrometheusMetricsTest, DefaultMachine) {
  DefaultWorld();
  ExpectGolden("metrics-default.prom", Metrics());
}

struct TroubleCase {
  const char* name;
  const char* world;
  std::vector<std::string> lines;  // each must appear as a whole line
};

TEST_F(PrometheusMetricsTest, TroubleShowsInTheGauges) {
  const TroubleCase cases[] = {
      {"no controller", "none.json", {"kivo_scan_success 0", "kivo_controllers 0"}},
      {"degraded unit",
       "two-controllers.json",
       {"kivo_scan_success 1", "kivo_unit_needs_attention{controller=\"4\",unit=\"0\"} 1",
        "kivo_drive_status{controller=\"4\",unit=\"0\",member=\"1\",port=\"1\",status=\"Not in Service\"} "
        "1"}},
      {"inaccessible drives and a rebuilding subunit",
       "raid10.json",
       {"kivo_unit_needs_attention{controller=\"0\",unit=\"0\"} 1",
        "kivo_drive_status{controller=\"0\",unit=\"0\",member=\"3\",port=\"\",status=\"Error\"} 2",
        "kivo_unit_status{controller=\"0\",unit=\"1\",type=\"Independent Disk\",status=\"OK\"} 255"}},
  };
  for (const TroubleCase& c : cases) {
    SCOPED_TRACE(c.name);
    LoadWorld(c.world);
    std::string text = "\n" + Metrics();
    for (const std::string& line : c.lines)
      EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << text;
  }
}

TEST_F(PrometheusMetricsTest, ControllerThatCannotBeReadFailsTheScan) {
  LoadWorld("two-controllers.json");
  faulty.FailOpen("\\\\.\\Scsi4:", 4, platform::ERROR_ACCESS_DENIED);
  std::string text = Metrics();
  EXPECT_NE(text.find("\nkivo_controller_status{controller=\"1\",status=\"OK\"} 0\n"
                      "kivo_controller_status{controller=\"4\",status=\"Open Failed\"} 1\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nkivo_scan_success 0\n"), std::string::npos);
  EXPECT_EQ(text.find("kivo_controller_info{controller=\"4\""), std::string::npos);
}

TEST_F(PrometheusMetricsTest, DriverOfAnotherLevelLeavesControllersUnread) {
  DefaultWorld();
  for (auto& controller : world.controllers) controller.level = 7;
  std::string text = Metrics();
  EXPECT_NE(text.find("\nkivo_controller_status{controller=\"0\",status=\"Not Read\"} 3\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nkivo_scan_success 0\n"), std::string::npos);
}

TEST_F(PrometheusMetricsTest, DeviceTextsBecomeSafeLabelValues) {
  DefaultWorld();
  world.controllers[0].versions.model = "Z\"48\\0\xE9";
  std::string text = Metrics();
  EXPECT_NE(text.find("model=\"Z\\\"48\\\\0?\""), std::string::npos) << text;
}

TEST(MetricsFileTest, ReplacesTheFileWholeReadableByAllAndLeavesNothingElse) {
  TempDir dir;
  std::string path = dir.File("kivo.prom");
  std::ofstream(path) << "old";
  std::string error;
  ASSERT_TRUE(PrometheusMetrics::WriteAtomically(path, "kivo_scan_success 1\n", &error)) << error;
  EXPECT_EQ(ReadWhole(path), "kivo_scan_success 1\n");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  auto entries = std::filesystem::directory_iterator(dir.Path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);
}

}  // namespace
}  // namespace kivo::test
