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
  for (const std::string& entry : SplitEventLines(text)) {
    const char* prefix = PriorityPrefix(ClassifyEventLine(entry).severity);
    std::size_t start = 0;
    while (start < entry.size()) {
      std::size_t end = entry.find('\n', start);
      if (end == std::string::npos) end = entry.size();
      std::size_t length = end - start;
      if (length > 0 && entry[start + length - 1] == '\r') --length;
      if (length > 0) out += prefix + entry.substr(start, length) + '\n';
      start = end + 1;
    }
  }
  return out;
}

}  // namespace kivo
