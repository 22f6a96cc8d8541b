// Windows has no journal stream; its programs log through the Event Log.
#include "platform/JournalStream.h"

namespace kivo::platform {

bool StandardOutputIsJournal() {
  return false;
}

bool StandardErrorIsJournal() {
  return false;
}

}  // namespace kivo::platform
