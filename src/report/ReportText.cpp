// The one ReportText instance, empty at program start.
#include "report/ReportText.h"

namespace kivo {

TextBuffer& ReportText() {
  static TextBuffer instance;
  return instance;
}

}  // namespace kivo
