// QtClipboard: ClipboardApi on the desktop's clipboard (QClipboard). Used by
// the utility's Copy to Clipboard command.
#pragma once

#include "shell/Clipboard.h"

namespace kivo {

class QtClipboard : public ClipboardApi {
 public:
  bool Open() override;
  bool Empty() override;
  bool SetText(const std::string& text) override;
  void Close() override;

 private:
  bool open_ = false;
};

}  // namespace kivo
