// JournalText: the entries of an alert text, line by line, with the syslog
// priority prefix of each entry's severity.
#include "monitor/JournalText.h"

#include "monitor/EventSeverity.h"

namespace kivo {

namespace {

const char* PriorityPrefix(EventSeverity severity) {
  switch (severity) {
    case EventSeverity::Error:
      return "<3>";
    case EventSeverity::Warning:
      return "<4>";
    case EventSeverity::Information:
      return "<6>";
  }
  return "<3>";
}

}  // namespace

std::string JournalText(const std::string& text) {
  std::string out;
  for (const std::string& entry : SplitEventLines(text))
    out += JournalLines(entry, ClassifyEventLine(entry).severity);
  return out;
}

std::string JournalLines(const std::string& text, EventSeverity severity) {
  const char* prefix = PriorityPrefix(severity);
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::size_t length = end - start;
    if (length > 0 && text[start + length - 1] == '\r') --length;
    if (length > 0) out += prefix + text.substr(start, length) + '\n';
    start = end + 1;
  }
  return out;
}

}  // namespace kivo
