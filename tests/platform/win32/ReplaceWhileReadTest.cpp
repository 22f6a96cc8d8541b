// Replacing a file whole while another program reads it, as windows_exporter
// reads the metrics file: a reader that does not share deletion holds the
// replacement up only for as long as it keeps the file open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/FileWriter.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {
namespace {

namespace fs = std::filesystem;

TEST(ReplaceWhileReadTest, AReaderThatClosesSoonDelaysTheReplacementOnly) {
  const fs::path dir = fs::temp_directory_path() / "kivo-replace-while-read";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string path = (dir / "kivo.prom").string();
  std::ofstream(path, std::ios::binary) << "old\n";
  // The reader's sharing: read and write, not delete (nor rename over).
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  // The reader holds the file for a moment, as a collector's read does.
  std::thread closer([reader] {
    Sleep(300);
    CloseHandle(reader);
  });

  const std::string text = "new\n";
  const bool replaced = ReplaceFileWhole(SystemFileWriter(), path, text.data(), text.size());
  const DWORD error = GetLastError();
  closer.join();

  EXPECT_TRUE(replaced) << "error " << error;
  std::ostringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  EXPECT_EQ(content.str(), "new\n");
  // Nothing of the temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kivo::platform
