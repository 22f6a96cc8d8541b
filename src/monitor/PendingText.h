// PendingText: the process-wide text that the monitor thread leaves for the
// main window (event lines and error texts). Guarded by MessageLock: the
// thread appends one text per lock, the window reads and clears in one lock.
#pragma once

#include "controller/TextBuffer.h"

namespace kivo {

TextBuffer& PendingText();

}  // namespace kivo
