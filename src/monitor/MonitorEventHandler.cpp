// The MonitorMessage handler: frames, shows and records what the monitor
// thread handed over.
#include "monitor/MonitorEventHandler.h"

#include <cstdio>

#include "controller/TimeStamp.h"
#include "monitor/MessageLock.h"
#include "monitor/MonitorWindow.h"
#include "monitor/PendingText.h"

namespace kivo {

namespace {

// Takes the whole of one pending text and clears it, in one lock.
std::string Take(TextBuffer& pending) {
  MessageLock::Scope lock;
  std::string text = pending.Text();
  pending.Clear();
  return text;
}

}  // namespace

MonitorEventHandler::MonitorEventHandler(platform::Clock& clock, MonitorWindow& window, TextBuffer* record)
    : clock_(clock), window_(window), record_(record) {}

int MonitorEventHandler::Handle(std::uint32_t wParam) {
  TimeStamp stamp;
  stamp.Now(clock_);
  const std::string timeText = stamp.Text();
  // While monitoring is healthy every message opens with a refresh; it is
  // the one rescan of the message, the event's own steps reuse it.
  const bool refresh = window_.MonitorState() == 1;

  switch (wParam) {
    case EventReady: {
      // The lines of this message were taken by an earlier one and shown
      // with its batch: nothing to show, nothing to rescan.
      const std::string lines = Take(PendingText());
      if (lines.empty()) return 1;
      if (refresh) window_.Refresh();
      Show(lines, refresh);
      return 1;
    }

    case RestartMonitor:
      if (refresh) window_.Refresh();
      MessageLock::Create();
      window_.StartMonitorThread();
      return 1;

    case ErrorReady: {
      // The thread hands over one error text per failing period, so it is
      // shown even when the thread has marked the period failing before this
      // window got to it. A message whose text an earlier one took shows
      // nothing: an empty entry would mean nothing to the reader.
      const std::string text = Take(PendingErrorText());
      if (text.empty()) return 1;
      const std::string line = "TIME: " + timeText + " MESSAGE: " + text + "\r\n";
      window_.SetStatusLine(line);
      // One refresh, which also shows the status line.
      window_.Refresh();
      window_.SetMonitorState(0);
      window_.ShowAlert(line);
      Record(line);
      return 1;
    }

    default: {
      if (refresh) window_.Refresh();
      char number[16];
      std::snprintf(number, sizeof number, "%i", static_cast<std::int32_t>(wParam));
      Show("TIME: " + timeText + " MESSAGE: Event " + number + " received\r\n", refresh);
      return 1;
    }
  }
}

void MonitorEventHandler::Show(const std::string& line, bool rescanned) {
  window_.ShowAlert(line);
  // The entry is looked up in the box as it stands, before the rescan.
  const std::string entry = kControllerEntryPrefix + std::to_string(window_.LastEventController());
  int row = window_.FindControllerEntry(entry);
  if (row < 0) row = 0;
  if (!rescanned) window_.ScanControllers(0);
  window_.ShowController(0, row);
  window_.PushDisplayTexts();
  // After the rescan, which began the report afresh.
  Record(line);
}

void MonitorEventHandler::Record(const std::string& line) {
  if (record_ != nullptr) record_->Append(line.c_str());
}

}  // namespace kivo
