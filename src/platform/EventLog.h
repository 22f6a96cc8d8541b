// EventLog: entries in the system's Application event log under one source
// (Windows). Used by kivo-watch when it runs as a service; Linux has no such
// log (the journal takes standard output) and opens none.
#pragma once

#include <memory>
#include <string>

namespace kivo::platform {

enum class EventLogType { Error, Warning, Information };

class EventLog {
 public:
  virtual ~EventLog() = default;
  // One entry of the given id and type with `text` as its one insertion
  // string; false when the log refused it.
  virtual bool Report(unsigned eventId, EventLogType type, const std::string& text) = 0;
};

// The log of `source`; nullptr with a sentence in *error where it cannot be
// opened or the platform has none.
std::unique_ptr<EventLog> OpenApplicationLog(const std::string& source, std::string* error);

}  // namespace kivo::platform
