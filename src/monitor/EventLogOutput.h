// EventLogOutput: the alerts of kivo-watch as entries of the Application
// event log: each event line, and the first error of a period in which the
// service cannot be reached, becomes one entry whose id and type follow the
// line's kind. Used by kivo-watch run as a service, on its main thread.
#pragma once

#include <string>

#include "monitor/EventSeverity.h"
#include "platform/EventLog.h"

namespace kivo {

// The entry type of a severity.
platform::EventLogType EventLogTypeOf(EventSeverity severity);

class EventLogOutput {
 public:
  explicit EventLogOutput(platform::EventLog& log) : log_(log) {}

  // One entry per whole line of `text` (an alert may carry several), the line
  // without its final line ends as the insertion string. False when the log
  // refused an entry; the others are still written.
  bool Write(const std::string& text);

 private:
  platform::EventLog& log_;
};

}  // namespace kivo
