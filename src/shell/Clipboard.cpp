// Clipboard copy of the report text.
#include "shell/Clipboard.h"

#include "platform/Desktop.h"
#include "platform/LastError.h"

namespace kivo {

int PutClipboardText(ClipboardApi& clipboard, const char* text) {
  platform::SetLastError(0);
  if (text == nullptr || text[0] == '\0') return 0;
  return clipboard.SetText(std::string(text)) ? 1 : 0;
}

void CopyReportToClipboard(ClipboardApi& clipboard, platform::MessageBoxes& boxes, const char* reportText) {
  // The text as it stands now; later appends do not reach this copy.
  const std::string text = reportText != nullptr ? reportText : "";
  ClipboardGuard guard(clipboard);
  if (!guard.Open()) {
    boxes.MessageBoxA(true, kClipboardOpenFailed, kClipboardCaption, platform::MB_OK);
    return;
  }
  if (!clipboard.Empty()) {
    boxes.MessageBoxA(true, kClipboardEmptyFailed, kClipboardCaption, platform::MB_OK);
    return;
  }
  if (PutClipboardText(clipboard, text.c_str()) == 0) {
    boxes.MessageBoxA(true, kClipboardCopyFailed, kClipboardCaption, platform::MB_OK);
  }
  guard.Close();
}

}  // namespace kivo
