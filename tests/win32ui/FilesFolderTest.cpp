// Where the utility's files go: the current folder where it can be written,
// else the per-user folder, for "data.txt" and "emaillog.txt" alike. The
// read-only case needs a user whom the file system stops (not root):
// scripts/windows-shell-test.sh runs it as one and names the folder in
// KIVO_READONLY_FOLDER.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "DesktopDoubles.h"
#include "win32ui/FilesFolder.h"
#include "win32ui/WinApi.h"

#include <gtest/gtest.h>

namespace kivo::win32ui {
namespace {

namespace fs = std::filesystem;

class FilesFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.messageBoxes = &boxes_;
    context_.launcher = &launcher_;
  }
  void TearDown() override { fs::current_path(before_); }

  fs::path before_ = fs::current_path();
  test::RecordingMessageBoxes boxes_;
  test::RecordingLauncher launcher_;
  platform::PlatformContext context_;
};

TEST_F(FilesFolderTest, WritableCurrentFolderIsKept) {
  const fs::path folder = fs::temp_directory_path() / "kivo-files-folder-test";
  fs::create_directories(folder);
  fs::current_path(folder);
  EXPECT_EQ(fs::path(FilesFolder::Enter()), fs::current_path());
  EXPECT_EQ(fs::current_path(), fs::canonical(folder));
  fs::current_path(before_);
  fs::remove_all(folder);
}

TEST_F(FilesFolderTest, ReadOnlyCurrentFolderGivesWayToThePerUserFolderForBothFiles) {
  const char* readOnly = std::getenv("KIVO_READONLY_FOLDER");
  if (readOnly == nullptr) GTEST_SKIP() << "needs a folder this user cannot write (KIVO_READONLY_FOLDER)";
  fs::current_path(readOnly);
  ASSERT_FALSE(FilesFolder::IsWritable("."));
  const std::string perUser = FilesFolder::Enter();
  ASSERT_EQ(perUser, FilesFolder::PerUserFolder());
  EXPECT_EQ(fs::path(perUser).filename(), "Kivo");
  EXPECT_EQ(fs::path(perUser).parent_path().filename(), "Zelka");
  EXPECT_EQ(fs::current_path(), fs::path(perUser));

  ReportText().Clear();
  ReportText().Append("report\r\n");
  Snapshot(context_);
  EmailLog log(boxes_);
  log.AppendEmailLog("Email: failure");
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_TRUE(fs::exists(fs::path(perUser) / "data.txt"));
  EXPECT_TRUE(fs::exists(fs::path(perUser) / "emaillog.txt"));
  EXPECT_FALSE(fs::exists(fs::path(readOnly) / "data.txt"));
}

}  // namespace
}  // namespace kivo::win32ui
