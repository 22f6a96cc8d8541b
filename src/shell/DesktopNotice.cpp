// The texts and decisions of the desktop notifications.
#include "shell/DesktopNotice.h"

#include "monitor/EventSeverity.h"
#include "shell/StartupSequence.h"

namespace kivo {

namespace {

constexpr char kAlertCaption[] = "Kivo - Event Notification Message";

std::string WithLineFeeds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result;
}

}  // namespace

DesktopNotice AlarmNotice(const std::string& text, bool desktopSound) {
  DesktopNotice notice;
  notice.kind = DesktopNotice::Kind::kAlarm;
  notice.summary = kAlertCaption;
  notice.body = WithLineFeeds(text);
  bool error = false;
  for (const std::string& entry : SplitEventLines(text)) {
    if (ClassifyEventLine(entry).severity == EventSeverity::Error) error = true;
  }
  // Low urgency is never used: a desktop may then show no banner at all.
  notice.urgency = error ? DesktopNotice::Urgency::kCritical : DesktopNotice::Urgency::kNormal;
  notice.category = error ? "device.error" : "device";
  notice.actions = {{kNoticeActionDefault, "Show"}, {kNoticeActionOk, "OK"}, {kNoticeActionShow, "Show"}};
  notice.desktopSound = desktopSound;
  // The alarm runs until acknowledged; so does its notification.
  notice.expireMs = 0;
  return notice;
}

DesktopNotice WatchingNotice() {
  DesktopNotice notice;
  notice.kind = DesktopNotice::Kind::kWatching;
  notice.summary = kMainWindowTitle;
  notice.body = std::string(kMainWindowTitle) +
                " is watching the Zelka controllers. This desktop has no notification area: to open the "
                "utility's window, choose " +
                kMainWindowTitle + " in the applications menu, or run kivo -max.";
  notice.urgency = DesktopNotice::Urgency::kNormal;
  notice.actions = {{kNoticeActionDefault, "Open"}, {kNoticeActionOpen, "Open"}};
  return notice;
}

std::string EscapeNoticeMarkup(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        result += "&amp;";
        break;
      case '<':
        result += "&lt;";
        break;
      case '>':
        result += "&gt;";
        break;
      default:
        result += c;
    }
  }
  return result;
}

}  // namespace kivo
