// The snapshot file: written whole from ReportText, reported when it cannot
// be written, and handed to the editor.
#include "report/Snapshot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "report/ReportDoubles.h"
#include "report/ReportText.h"
#include "support/FullDiskWriter.h"

namespace kivo::test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kivo-snapshot-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    path = dir + "/data.txt";
    context.messageBoxes = &boxes;
    context.launcher = &launcher;
    ReportText().Clear();
  }
  void TearDown() override {
    ::chmod(dir.c_str(), 0700);
    ::unlink(path.c_str());
    ::rmdir(dir.c_str());
    ReportText().Clear();
  }

  std::string dir;
  std::string path;
  RecordingMessageBoxes boxes;
  RecordingLauncher launcher;
  platform::PlatformContext context;
};

TEST_F(SnapshotTest, WritesTheReportByteForByteAndOpensIt) {
  ReportText().Assign("Kivo Disk Management Utility\r\nline\twith tab\r\n\xE9\r\n");
  SnapshotTo(context, path);
  EXPECT_EQ(ReadFile(path), "Kivo Disk Management Utility\r\nline\twith tab\r\n\xE9\r\n");
  EXPECT_TRUE(boxes.shown.empty());
  ASSERT_EQ(launcher.textFiles.size(), 1u);
  EXPECT_EQ(launcher.textFiles[0], path);
}

TEST_F(SnapshotTest, SecondSnapshotOverwritesAndNeverAppends) {
  ReportText().Assign("a much longer first report\r\n");
  SnapshotTo(context, path);
  ReportText().Assign("short\r\n");
  SnapshotTo(context, path);
  EXPECT_EQ(ReadFile(path), "short\r\n");
  EXPECT_EQ(launcher.textFiles.size(), 2u);
}

TEST_F(SnapshotTest, EmptyReportGivesAnEmptyFileThatIsStillOpened) {
  SnapshotTo(context, path);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 0);
  EXPECT_EQ(launcher.textFiles.size(), 1u);
}

TEST_F(SnapshotTest, UnwritableDirectoryShowsTheOwnedErrorBoxAndLaunchesNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  ASSERT_EQ(::chmod(dir.c_str(), 0500), 0);
  ReportText().Assign("report\r\n");
  SnapshotTo(context, path);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_TRUE(boxes.shown[0].owned);
  EXPECT_EQ(boxes.shown[0].text, "Cannot open file data.txt.");
  EXPECT_EQ(boxes.shown[0].caption, "Error");
  EXPECT_EQ(boxes.shown[0].type, platform::MB_ICONERROR);
  EXPECT_TRUE(launcher.textFiles.empty());
  EXPECT_EQ(std::string(ReportText().Text()), "report\r\n");
}

TEST_F(SnapshotTest, ReadOnlyPlaceIsReportedEvenForRoot) {
  ReportText().Assign("report\r\n");
  SnapshotTo(context, "/proc/kivo-snapshot-test/data.txt");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Cannot open file data.txt.");
  EXPECT_TRUE(launcher.textFiles.empty());
}

TEST_F(SnapshotTest, PathThatIsADirectoryIsReported) {
  // Root cannot be kept out of a read-only directory, but nobody opens a
  // directory for writing.
  SnapshotTo(context, dir);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Cannot open file data.txt.");
  EXPECT_TRUE(launcher.textFiles.empty());
}

TEST_F(SnapshotTest, FullDiskAfterOpeningIsReportedLikeAFailedOpen) {
  ReportText().Assign("report that does not fit\r\n");
  SnapshotTo(context, "/dev/full");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_TRUE(boxes.shown[0].owned);
  EXPECT_EQ(boxes.shown[0].text, "Cannot open file data.txt.");
  EXPECT_EQ(boxes.shown[0].caption, "Error");
  EXPECT_TRUE(launcher.textFiles.empty());
}

TEST_F(SnapshotTest, AFullDiskKeepsThePreviousSnapshotWhole) {
  ReportText().Assign("the good report\r\n");
  SnapshotTo(context, path);
  ReportText().Assign("a newer report that the disk cannot hold\r\n");
  for (long room : {0L, 5L}) {
    SCOPED_TRACE(room);
    FullDiskWriter disk;
    disk.room = room;
    boxes.shown.clear();
    SnapshotTo(context, path, disk);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Cannot open file data.txt.");
    EXPECT_EQ(ReadFile(path), "the good report\r\n");
    EXPECT_EQ(launcher.textFiles.size(), 1u) << "only the good snapshot was opened";
  }
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
            1);
}

TEST_F(SnapshotTest, SnapshotWritesDataTxtInTheCurrentDirectory) {
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  ReportText().Assign("here\r\n");
  Snapshot(context);
  ASSERT_EQ(::chdir(previous), 0);
  EXPECT_EQ(ReadFile(path), "here\r\n");
  ASSERT_EQ(launcher.textFiles.size(), 1u);
  EXPECT_EQ(launcher.textFiles[0], "data.txt");
}

}  // namespace
}  // namespace kivo::test
