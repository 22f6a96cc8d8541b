// WinClipboard: the system clipboard for the report copy: OpenClipboard for
// the main window, EmptyClipboard, and the text handed over as CF_TEXT in
// movable, shareable global memory (GlobalAlloc), freed when refused.
#pragma once

#include <string>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class WinClipboard : public ClipboardApi {
 public:
  explicit WinClipboard(HWND owner) : owner_(owner) {}
  bool Open() override { return OpenClipboard(owner_) != FALSE; }
  bool Empty() override { return EmptyClipboard() != FALSE; }
  bool SetText(const std::string& text) override;
  void Close() override { CloseClipboard(); }

 private:
  HWND owner_;
};

}  // namespace kivo::win32ui
