// EventSeverity: how grave each controller event and each alert line is, for
// the outputs that sort by it (the journal's priorities, the Event Log's
// types and ids). Stateless; any thread.
#pragma once

#include <string>
#include <vector>

namespace kivo {

enum class EventSeverity { Error, Warning, Information };

// From the event catalogue's kinds: failures are errors; work started,
// timeouts and corrected faults are warnings; completions are information.
// A code the catalogue does not know may be a failure, so it is an error.
EventSeverity SeverityOfEvent(unsigned code);  // AEN code 0-255

// The entries of a text that holds one or more whole alert lines
// ("TIME: ... MESSAGE: ...\r\n"; a degraded-array entry spans several lines).
// Each entry keeps its own line ends; an empty text has no entries.
std::vector<std::string> SplitEventLines(const std::string& text);

// The event id of a monitoring error (the service cannot be reached).
constexpr unsigned kMonitoringErrorEventId = 1000;
// The event id of "Event N received" (a number outside the catalogue).
constexpr unsigned kUnknownMessageEventId = 1001;

struct EventLineKind {
  unsigned eventId;
  EventSeverity severity;
};

// eventId: the AEN code for a catalogue line; kMonitoringErrorEventId for a
// monitoring error line (and for any text that is neither of the others);
// kUnknownMessageEventId for "Event N received". Severity: the code's; Error
// for a monitoring error; Warning for "Event N received".
EventLineKind ClassifyEventLine(const std::string& line);

}  // namespace kivo
