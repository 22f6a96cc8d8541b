// A double of the Application event log for the monitor's tests: it records
// every entry and refuses the ones of one id.
#pragma once

#include <string>
#include <vector>

#include "platform/EventLog.h"

namespace kivo::test {

struct Entry {
  unsigned id;
  platform::EventLogType type;
  std::string text;
  bool operator==(const Entry&) const = default;
};

class RecordingEventLog : public platform::EventLog {
 public:
  bool Report(unsigned eventId, platform::EventLogType type, const std::string& text) override {
    entries.push_back({eventId, type, text});
    return eventId != refuse;
  }
  std::vector<Entry> entries;
  unsigned refuse = 0xFFFFFFFF;
};

}  // namespace kivo::test
