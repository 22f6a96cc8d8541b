// Doubles shared by the start-up, clipboard and e-mail setup tests: a message
// box recorder that answers from a script, and a unique temporary directory.
#pragma once

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Win32Types.h"
#include "support/DesktopDoubles.h"
#include "support/TempDir.h"

namespace kivo::test {

using RecordingBoxes = RecordingMessageBoxes;

}  // namespace kivo::test
