// EventSeverity: the severity table of the event codes and the recognition
// of an alert line's event by its catalogue body.
#include "monitor/EventSeverity.h"

#include <cstdlib>
#include <string_view>
#include <utility>

#include "monitor/EventCatalogue.h"

namespace kivo {

namespace {

constexpr std::string_view kLineStart = "TIME: ";
constexpr std::string_view kMessageMark = " MESSAGE: ";

// The codes with a row of their own in the catalogue, each with its kind.
struct SeverityRow {
  unsigned code;
  EventSeverity severity;
};

constexpr SeverityRow kSeverities[] = {
    {0, EventSeverity::Information},   // queue is empty
    {1, EventSeverity::Warning},       // software reset
    {2, EventSeverity::Error},         // unit degraded
    {3, EventSeverity::Error},         // controller error
    {4, EventSeverity::Error},         // rebuild/initialization failed
    {5, EventSeverity::Information},   // rebuild complete
    {6, EventSeverity::Error},         // unit incomplete
    {7, EventSeverity::Information},   // initialization complete
    {8, EventSeverity::Error},         // unexpected shut down or power loss
    {9, EventSeverity::Warning},       // drive timeout
    {10, EventSeverity::Error},        // drive error
    {11, EventSeverity::Warning},      // rebuild started
    {12, EventSeverity::Warning},      // initialization started
    {13, EventSeverity::Error},        // unit removed or deleted
    {15, EventSeverity::Error},        // SMART threshold exceeded
    {33, EventSeverity::Warning},      // cable CRC error (the transfer is retried)
    {34, EventSeverity::Information},  // UDMA speed upgraded
    {35, EventSeverity::Warning},      // ECC error corrected
    {36, EventSeverity::Error},        // buffer integrity check failed
    {37, EventSeverity::Error},        // write cache error after degrade
    {38, EventSeverity::Error},        // ECC data error
    {39, EventSeverity::Error},        // configuration checksum failed
    {40, EventSeverity::Error},        // incompatible configuration
    {41, EventSeverity::Warning},      // verify started
    {42, EventSeverity::Error},        // verify failed
    {43, EventSeverity::Information},  // verify complete
    {44, EventSeverity::Warning},      // bad sector reallocated during rebuild
    {45, EventSeverity::Error},        // bad sector on the rebuild's source
    {46, EventSeverity::Error},        // replacement drive too small
    {47, EventSeverity::Warning},      // verify of an uninitialized array: initializing
    {48, EventSeverity::Error},        // drive not supported
    {255, EventSeverity::Warning},     // queue full: events were lost
};

// A text with every run of digits (and a minus sign before one) replaced by
// '#', so that a line compares with its catalogue body whatever the numbers.
std::string WithoutNumbers(std::string_view text) {
  std::string shape;
  shape.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const bool minus = text[i] == '-' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9';
    if (minus || (text[i] >= '0' && text[i] <= '9')) {
      i += minus ? 1 : 0;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
      shape += '#';
    } else {
      shape += text[i++];
    }
  }
  return shape;
}

// The shapes of the catalogue's bodies: the rows' own, then the row for
// codes without one (14 stands for them all).
struct BodyShape {
  unsigned code;
  std::string shape;
};

const std::vector<BodyShape>& BodyShapes() {
  static const std::vector<BodyShape> shapes = [] {
    std::vector<BodyShape> list;
    for (const SeverityRow& row : kSeverities)
      list.push_back({row.code, WithoutNumbers(EventBody(row.code, 0, 0))});
    list.push_back({14, WithoutNumbers(EventBody(14, 0, 0))});
    return list;
  }();
  return shapes;
}

// The body ends the line, or the blank before the help texts of degraded and
// incomplete arrays does.
bool EndsBody(std::string_view rest) {
  return rest.empty() || rest.starts_with("\r\n") || rest.starts_with(" \r\n");
}

}  // namespace

EventSeverity SeverityOfEvent(unsigned code) {
  for (const SeverityRow& row : kSeverities) {
    if (row.code == code) return row.severity;
  }
  return EventSeverity::Error;
}

std::vector<std::string> SplitEventLines(const std::string& text) {
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start < text.size()) {
    // An entry ends where a line that opens the next one begins.
    std::size_t end = text.size();
    for (std::size_t lineEnd = text.find("\r\n", start); lineEnd != std::string::npos;
         lineEnd = text.find("\r\n", lineEnd + 2)) {
      if (std::string_view(text).substr(lineEnd + 2).starts_with(kLineStart)) {
        end = lineEnd + 2;
        break;
      }
    }
    entries.push_back(text.substr(start, end - start));
    start = end;
  }
  return entries;
}

EventLineKind ClassifyEventLine(const std::string& line) {
  const std::size_t mark = line.find(kMessageMark);
  if (mark == std::string::npos) return {kMonitoringErrorEventId, EventSeverity::Error};
  const std::string_view message = std::string_view(line).substr(mark + kMessageMark.size());
  const std::string shape = WithoutNumbers(message);

  for (const BodyShape& body : BodyShapes()) {
    if (!shape.starts_with(body.shape) || !EndsBody(std::string_view(shape).substr(body.shape.size())))
      continue;
    if (body.code != 14) return {body.code, SeverityOfEvent(body.code)};
    // A code without a row: the line names it after "AEN code:".
    const std::size_t digits = message.find_first_of("0123456789");
    const unsigned long code = std::strtoul(std::string(message.substr(digits)).c_str(), nullptr, 10);
    return {static_cast<unsigned>(code), SeverityOfEvent(static_cast<unsigned>(code))};
  }
  if (shape.starts_with("Event # received") && EndsBody(std::string_view(shape).substr(16))) {
    return {kUnknownMessageEventId, EventSeverity::Warning};
  }
  return {kMonitoringErrorEventId, EventSeverity::Error};
}

}  // namespace kivo
