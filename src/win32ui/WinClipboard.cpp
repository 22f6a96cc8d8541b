// The report text handed to the clipboard in global memory.
#include "win32ui/WinClipboard.h"

#include <cstring>

namespace kivo::win32ui {

bool WinClipboard::SetText(const std::string& text) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, text.size() + 1);
  if (memory == nullptr) return false;
  void* bytes = GlobalLock(memory);
  if (bytes == nullptr) {
    GlobalFree(memory);
    return false;
  }
  std::memcpy(bytes, text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  if (SetClipboardData(CF_TEXT, memory) == nullptr) {
    GlobalFree(memory);
    return false;
  }
  // The clipboard owns the memory from here on.
  return true;
}

}  // namespace kivo::win32ui
