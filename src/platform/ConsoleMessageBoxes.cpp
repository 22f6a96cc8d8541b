// ConsoleMessageBoxes; see ConsoleMessageBoxes.h. Texts keep their own CR LF
// line ends; a text that does not end in a line end gets one.
#include "platform/ConsoleMessageBoxes.h"

namespace kivo::platform {

int ConsoleMessageBoxes::MessageBoxA(bool, const std::string& text, const std::string& caption, UINT) {
  std::fprintf(stream_, "%s: %s", caption.c_str(), text.c_str());
  if (text.empty() || text.back() != '\n') std::fputc('\n', stream_);
  std::fflush(stream_);
  return IDOK;
}

}  // namespace kivo::platform
