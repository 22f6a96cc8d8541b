// PendingText: the process-wide texts that the monitor thread leaves for the
// main window: the event lines (EventReady) and, apart from them, the error
// text of a failing period (ErrorReady). Guarded by MessageLock: the thread
// appends one text per lock, the window reads and clears in one lock.
#pragma once

#include "controller/TextBuffer.h"

namespace kivo {

TextBuffer& PendingText();
// Kept apart from the event lines, so that a window running behind, whose
// EventReady takes every line waiting, never shows an error text unframed.
TextBuffer& PendingErrorText();

}  // namespace kivo
