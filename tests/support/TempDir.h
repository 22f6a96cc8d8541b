// TempDir: a fresh private directory under /tmp for one test, removed with its
// contents at the end. The path stays short, so sockets fit inside it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace kivo::test {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/kivo-test-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace kivo::test
