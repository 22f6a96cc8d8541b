// EventLog on Windows: advapi32's event source handle and ReportEventW, one
// insertion string per entry (the source's message file frames it).
#include "platform/EventLog.h"

#include <string>

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {
namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                           static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return wide;
}

WORD SystemType(EventLogType type) {
  switch (type) {
    case EventLogType::Error:
      return EVENTLOG_ERROR_TYPE;
    case EventLogType::Warning:
      return EVENTLOG_WARNING_TYPE;
    case EventLogType::Information:
      break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

class SystemEventLog : public EventLog {
 public:
  explicit SystemEventLog(::HANDLE source) : source_(source) {}
  ~SystemEventLog() override { ::DeregisterEventSource(source_); }
  SystemEventLog(const SystemEventLog&) = delete;
  SystemEventLog& operator=(const SystemEventLog&) = delete;

  bool Report(unsigned eventId, EventLogType type, const std::string& text) override {
    const std::wstring wide = Wide(text);
    const wchar_t* strings[] = {wide.c_str()};
    return ::ReportEventW(source_, SystemType(type), 0, eventId, nullptr, 1, 0, strings, nullptr) != FALSE;
  }

 private:
  ::HANDLE source_;
};

}  // namespace

std::unique_ptr<EventLog> OpenApplicationLog(const std::string& source, std::string* error) {
  ::HANDLE handle = ::RegisterEventSourceA(nullptr, source.c_str());
  if (handle == nullptr) {
    *error = "cannot open the event log for the source " + source + " (error " +
             std::to_string(::GetLastError()) + ")";
    return nullptr;
  }
  return std::make_unique<SystemEventLog>(handle);
}

}  // namespace kivo::platform
