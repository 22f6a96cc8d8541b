// Clipboard copy of the report text: the clipboard behind ClipboardApi (the Qt
// clipboard in the program, a refusing double in tests), the scoped
// ClipboardGuard, PutClipboardText and CopyReportToClipboard with its three
// failure messages. Used by the main window's Copy to Clipboard command.
#pragma once

#include <string>

namespace kivo {

namespace platform {
class MessageBoxes;
}

inline constexpr const char* kClipboardCaption = "Kivo Disk Managenemt Utility";
inline constexpr const char* kClipboardOpenFailed = "Unable to open clipboard";
inline constexpr const char* kClipboardEmptyFailed = "Unable to empty clipboard";
inline constexpr const char* kClipboardCopyFailed = "Unable to copy text to clipboard";

class ClipboardApi {
 public:
  virtual ~ClipboardApi() = default;
  virtual bool Open() = 0;
  virtual bool Empty() = 0;
  // Takes the single-byte text (without its NUL) as the one plain-text item.
  virtual bool SetText(const std::string& text) = 0;
  virtual void Close() = 0;
};

// Holds the clipboard open for one scope; every way out closes it.
class ClipboardGuard {
 public:
  explicit ClipboardGuard(ClipboardApi& clipboard) : clipboard_(clipboard) {}
  ~ClipboardGuard() { Close(); }
  ClipboardGuard(const ClipboardGuard&) = delete;
  ClipboardGuard& operator=(const ClipboardGuard&) = delete;

  bool Open() {
    open_ = clipboard_.Open() ? 1 : 0;
    return open_ == 1;
  }
  void Close() {
    if (open_ == 1) clipboard_.Close();
    open_ = 0;
  }

 private:
  ClipboardApi& clipboard_;
  int open_ = 0;
};

// 1 when the text is on the clipboard, 0 for an absent or empty text or a
// refused hand-over. The clipboard must be open and emptied by the caller.
int PutClipboardText(ClipboardApi& clipboard, const char* text);

// Copies the report text; failures are shown as owned message boxes with an
// OK button and no icon.
void CopyReportToClipboard(ClipboardApi& clipboard, platform::MessageBoxes& boxes, const char* reportText);

}  // namespace kivo
