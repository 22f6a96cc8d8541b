// DiagnosticOutput: kivo-watch's own diagnostics (what it watches, that it
// found no controller and where it looked, the first scan's errors, that it
// stopped, what failed) where an administrator looks for them: on standard
// error, each line marked with its syslog priority when standard error is the
// journal; run as a Windows service, as entries of the Application event log.
// Used by kivo-watch on its main thread.
#pragma once

#include <cstdio>
#include <string>

#include "monitor/EventSeverity.h"
#include "platform/Desktop.h"

namespace kivo {

namespace platform {
class EventLog;
}

// Event ids of the diagnostics, beside the alerts' own (EventSeverity.h).
constexpr unsigned kWatchStartedEventId = 1002;  // information: monitoring N controllers
constexpr unsigned kNoControllerEventId = 1003;  // warning: none found yet, and where it looked
constexpr unsigned kWatchStoppedEventId = 1004;  // information: the stop
constexpr unsigned kWatchFailureEventId = 1005;  // error: the monitor could not run as it should
constexpr unsigned kScanMessageEventId = 1006;   // the first scan's error messages

class DiagnosticOutput {
 public:
  // `stream`: standard error; `journal`: it is the journal's stream.
  DiagnosticOutput(std::FILE* stream, bool journal) : stream_(stream), journal_(journal) {}

  // From now on the diagnostics are entries of `log` (kivo-watch runs as a
  // service, whose standard error nobody reads); an entry the log refuses
  // goes to the stream. Null: back to the stream alone.
  void UseEventLog(platform::EventLog* log) { log_ = log; }

  // One diagnostic: a sentence or more, without the program's name or a
  // final line end; on the stream it reads "kivo-watch: " + text.
  void Report(EventSeverity severity, unsigned eventId, const std::string& text);

 private:
  void Write(EventSeverity severity, const std::string& text);

  std::FILE* stream_;
  bool journal_;
  platform::EventLog* log_ = nullptr;
};

// Message boxes for kivo-watch's first scan: each box is a diagnostic
// "caption: text" (an error box an error, any other a warning), answered OK.
class DiagnosticBoxes : public platform::MessageBoxes {
 public:
  explicit DiagnosticBoxes(DiagnosticOutput& output) : output_(output) {}
  int MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                  platform::UINT type) override;

 private:
  DiagnosticOutput& output_;
};

}  // namespace kivo
