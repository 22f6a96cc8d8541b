// EventLog on Linux: there is no Application log; the journal takes
// kivo-watch's standard output instead.
#include "platform/EventLog.h"

namespace kivo::platform {

std::unique_ptr<EventLog> OpenApplicationLog(const std::string& /*source*/, std::string* error) {
  *error = "the Application event log is a Windows feature";
  return nullptr;
}

}  // namespace kivo::platform
