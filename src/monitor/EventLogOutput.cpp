// EventLogOutput: alert lines to event log entries.
#include "monitor/EventLogOutput.h"

namespace kivo {

platform::EventLogType EventLogTypeOf(EventSeverity severity) {
  switch (severity) {
    case EventSeverity::Error:
      return platform::EventLogType::Error;
    case EventSeverity::Warning:
      return platform::EventLogType::Warning;
    case EventSeverity::Information:
      break;
  }
  return platform::EventLogType::Information;
}

bool EventLogOutput::Write(const std::string& text) {
  bool written = true;
  for (const std::string& line : SplitEventLines(text)) {
    const EventLineKind kind = ClassifyEventLine(line);
    // The viewer ends the entry itself; the line ends inside it stay.
    std::string insertion = line;
    while (!insertion.empty() && (insertion.back() == '\n' || insertion.back() == '\r')) insertion.pop_back();
    if (!log_.Report(kind.eventId, EventLogTypeOf(kind.severity), insertion)) written = false;
  }
  return written;
}

}  // namespace kivo
