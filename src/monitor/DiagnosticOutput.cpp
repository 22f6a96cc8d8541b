// DiagnosticOutput: kivo-watch's diagnostics to the event log or standard
// error, and the first scan's message boxes as diagnostics.
#include "monitor/DiagnosticOutput.h"

#include "monitor/EventLogOutput.h"
#include "monitor/JournalText.h"
#include "platform/EventLog.h"

namespace kivo {

void DiagnosticOutput::Report(EventSeverity severity, unsigned eventId, const std::string& text) {
  if (log_ != nullptr && log_->Report(eventId, EventLogTypeOf(severity), text)) return;
  Write(severity, text);
}

void DiagnosticOutput::Write(EventSeverity severity, const std::string& text) {
  const std::string line = "kivo-watch: " + text + "\n";
  const std::string out = journal_ ? JournalLines(line, severity) : line;
  std::fwrite(out.data(), 1, out.size(), stream_);
  std::fflush(stream_);
}

int DiagnosticBoxes::MessageBoxA(bool /*owned*/, const std::string& text, const std::string& caption,
                                 platform::UINT type) {
  std::string message = caption + ": " + text;
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  const bool error = (type & 0xF0u) == platform::MB_ICONERROR;
  output_.Report(error ? EventSeverity::Error : EventSeverity::Warning, kScanMessageEventId, message);
  return platform::IDOK;
}

}  // namespace kivo
