// ConsoleMessageBoxes: message boxes for the headless programs. Each box is
// written to standard error as "caption: text" and answered with IDOK.
#pragma once

#include <cstdio>

#include "platform/Desktop.h"

namespace kivo::platform {

class ConsoleMessageBoxes : public MessageBoxes {
 public:
  explicit ConsoleMessageBoxes(std::FILE* stream = stderr) : stream_(stream) {}
  int MessageBoxA(bool owned, const std::string& text, const std::string& caption, UINT type) override;

 private:
  std::FILE* stream_;
};

}  // namespace kivo::platform
