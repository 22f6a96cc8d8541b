// EventCatalogue: the message line of one controller event notification
// (AEN code, unit or port byte, controller id), as the alert window, the
// report text and the snapshot file show it. Stateless; any thread.
#pragma once

#include <string>

#include "platform/Clock.h"

namespace kivo {

// Appended, in this order, to the lines of degraded (2) and incomplete (6)
// arrays.
extern const char* const FaultToleranceHelp;   // 225 characters
extern const char* const RecoveryOptionsHelp;  // 863 characters, begins with a blank

// "TIME: <time text> MESSAGE: <body>\r\n" for `code` (0-255), with the unit
// byte and the controller id filled into the body as its row names them.
// Codes without a row of their own (14, 16-32, 49-254) give the line that
// asks the user to update the software. The clock is read once.
std::string DescribeEvent(platform::Clock& clock, unsigned code, unsigned unit, int controllerId);

// The body of the line alone (no time, no frame, no help texts).
std::string EventBody(unsigned code, unsigned unit, int controllerId);

}  // namespace kivo
