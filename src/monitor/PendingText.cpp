// The two pending texts, empty at program start.
#include "monitor/PendingText.h"

namespace kivo {

TextBuffer& PendingText() {
  static TextBuffer instance;
  return instance;
}

TextBuffer& PendingErrorText() {
  static TextBuffer instance;
  return instance;
}

}  // namespace kivo
