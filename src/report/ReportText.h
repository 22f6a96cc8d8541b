// ReportText: the process-wide running record (the disk information report of
// the last scan and the lines appended since). User-interface thread only.
#pragma once

#include "controller/TextBuffer.h"

namespace kivo {

TextBuffer& ReportText();

}  // namespace kivo
