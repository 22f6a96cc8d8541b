// Doubles shared by the start-up, clipboard and e-mail setup tests: a message
// box recorder that answers from a script, and a unique temporary directory.
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Win32Types.h"
#include "support/DesktopDoubles.h"

namespace kivo::test {

using RecordingBoxes = RecordingMessageBoxes;

// A fresh directory under /tmp, removed with the object.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/kivo-app-test.XXXXXX";
    const char* made = ::mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  ~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace kivo::test
