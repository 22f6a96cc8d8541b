// The whole-file and whole-entry writes on both platforms: a full disk at any
// byte leaves the previous file as it was and no temporary file beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/FileWriter.h"
#include "support/FullDiskWriter.h"

namespace kivo::test {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class FileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() / (std::string("kivo-filewriter-") + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    path = dir / "data.txt";
    std::ofstream(path, std::ios::binary) << "old\r\n";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  std::size_t FilesInDir() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  fs::path dir;
  fs::path path;
};

TEST_F(FileWriterTest, ReplaceIsWholeOrNothing) {
  const std::string text = "new report\r\nsecond line\r\n";
  for (long room : {0L, 1L, 10L, static_cast<long>(text.size()) - 1}) {
    FullDiskWriter writer;
    writer.room = room;
    EXPECT_FALSE(platform::ReplaceFileWhole(writer, path.string(), text.data(), text.size())) << room;
    EXPECT_EQ(Read(path), "old\r\n") << room;
    EXPECT_EQ(FilesInDir(), 1u) << "a temporary file was left, room " << room;
  }
  FullDiskWriter roomy;
  ASSERT_TRUE(platform::ReplaceFileWhole(roomy, path.string(), text.data(), text.size()));
  EXPECT_EQ(Read(path), text);
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(FileWriterTest, AppendLeavesNoTornEntry) {
  const std::string entry = "Email: Socket Error  Error: 10060 \r\n";
  for (long room : {0L, 1L, static_cast<long>(entry.size()) - 1}) {
    FullDiskWriter writer;
    writer.room = room;
    EXPECT_FALSE(platform::AppendWhole(writer, path.string(), entry.data(), entry.size())) << room;
    EXPECT_EQ(Read(path), "old\r\n") << room;
  }
  FullDiskWriter roomy;
  ASSERT_TRUE(platform::AppendWhole(roomy, path.string(), entry.data(), entry.size()));
  ASSERT_TRUE(platform::AppendWhole(roomy, (dir / "new.txt").string(), entry.data(), entry.size()));
  EXPECT_EQ(Read(path), "old\r\n" + entry);
  EXPECT_EQ(Read(dir / "new.txt"), entry);
}

}  // namespace
}  // namespace kivo::test
