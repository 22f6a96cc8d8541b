// Prometheus metrics of a scan: the whole text for the default machine
// against a golden file, what each kind of trouble turns into, and the
// atomic write into a temporary directory (unwritable places are tried on
// kivo-report itself by tests/packaging).
#include "report/PrometheusMetrics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/FileWriter.h"
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

// In a folder others may write, another user swaps the temporary file for a
// link to a file of root's while the metrics are written: the link's target
// keeps its mode and its bytes, and the link is not published.
class SwappingWriter : public platform::FileWriter {
 public:
  explicit SwappingWriter(std::string target) : target_(std::move(target)) {}
  long Write(int fd, const void* data, std::size_t size) override {
    const std::filesystem::path file(target_);
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
      const std::string name = entry.path().filename().string();
      if (swapped_ || name.rfind("kivo.prom.", 0) != 0) continue;
      std::filesystem::rename(entry.path(), file.parent_path() / "moved-away");
      std::filesystem::create_symlink(target_, entry.path());
      swapped_ = true;
    }
    return platform::SystemFileWriter().Write(fd, data, size);
  }
  bool swapped_ = false;

 private:
  std::string target_;
};

TEST(MetricsFileTest, ATemporaryFileSwappedForALinkChangesNothingThroughIt) {
  TempDir dir;
  const std::string secret = dir.File("secret");
  std::ofstream(secret) << "root's";
  ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
  std::ofstream(dir.File("kivo.prom")) << "old";
  SwappingWriter writer(secret);
  std::string error;
  EXPECT_FALSE(
      PrometheusMetrics::WriteAtomically(dir.File("kivo.prom"), "kivo_scan_success 1\n", &error, writer));
  ASSERT_TRUE(writer.swapped_);
  struct stat info {};
  ASSERT_EQ(::stat(secret.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadWhole(secret), "root's");
  EXPECT_EQ(ReadWhole(dir.File("kivo.prom")), "old");
  EXPECT_EQ(error.rfind("cannot write " + dir.File("kivo.prom") + ": ", 0), 0u) << error;
}

// A link at the metrics file's place is written through only when it is the
// user's own or root's; another user's is replaced by the file.
TEST(MetricsFileTest, OnlyALinkOfItsOwnUserOrRootIsWrittenThrough) {
  if (::geteuid() != 0) GTEST_SKIP() << "a link of another user is made by root";
  for (const uid_t owner : {0u, 65534u}) {
    SCOPED_TRACE(owner);
    TempDir dir;
    const std::string target = dir.File("target");
    std::ofstream(target) << "target";
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    const std::string path = dir.File("kivo.prom");
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    ASSERT_EQ(::lchown(path.c_str(), owner, owner), 0);
    std::string error;
    ASSERT_TRUE(PrometheusMetrics::WriteAtomically(path, "kivo_scan_success 1\n", &error)) << error;
    struct stat link {};
    ASSERT_EQ(::lstat(path.c_str(), &link), 0);
    EXPECT_EQ(S_ISLNK(link.st_mode), owner == 0);
    EXPECT_EQ(ReadWhole(target), owner == 0 ? "kivo_scan_success 1\n" : "target");
    EXPECT_EQ(ReadWhole(path), "kivo_scan_success 1\n");
  }
}

}  // namespace
}  // namespace kivo::test
