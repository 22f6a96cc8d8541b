// JournalText: alert lines as the system journal takes them from a service's
// output, each line marked with the syslog priority of its entry. Used by
// kivo-watch when its standard output is the journal. Stateless; any thread.
#pragma once

#include <string>

#include "monitor/EventSeverity.h"

namespace kivo {

// The journal makes one record of every line and reads a leading "<N>" as
// its priority: error 3, warning 4, information 6, after the entry's
// severity. Every non-empty line of an entry carries the entry's prefix, so
// a degraded array's help paragraphs are filtered with its first line; the
// blank lines between paragraphs would be empty records and are left out,
// and lines end in LF alone (a CR would make the record binary).
std::string JournalText(const std::string& text);

// Every non-empty line of `text` with the prefix of `severity`, ending in LF
// alone: one record of that priority per line.
std::string JournalLines(const std::string& text, EventSeverity severity);

}  // namespace kivo
