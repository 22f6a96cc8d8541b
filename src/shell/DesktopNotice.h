// DesktopNotice: what the utility tells the desktop beside its own windows:
// the alarm as a desktop notification (its urgency from the event catalogue's
// severities, its actions), and, on a desktop without a notification area,
// that the utility is watching and how to open it. Plain texts and decisions,
// without a toolkit; each shell's DesktopPresence sends them its own way.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kivo {

struct DesktopNotice {
  enum class Urgency { kLow = 0, kNormal = 1, kCritical = 2 };
  enum class Kind { kAlarm, kWatching };

  Kind kind = Kind::kAlarm;
  std::string summary;
  std::string body;  // plain text, lines ended by LF
  Urgency urgency = Urgency::kNormal;
  std::string category;  // empty: none
  // Action keys and their labels, in order; "default" is the click on the
  // notification itself.
  std::vector<std::pair<std::string, std::string>> actions;
  // The desktop plays "bell" (the alarm's own tone cannot be played), or
  // plays nothing because the utility beeps itself or the audio is off.
  bool desktopSound = false;
  int expireMs = -1;  // -1: the server's choice; 0: until withdrawn
};

// The action keys.
inline constexpr char kNoticeActionDefault[] = "default";
inline constexpr char kNoticeActionOk[] = "ok";
inline constexpr char kNoticeActionShow[] = "show";
inline constexpr char kNoticeActionOpen[] = "open";

// The sound the desktop is asked for when the utility cannot beep itself.
inline constexpr char kNoticeSoundName[] = "bell";

// The notification of an alert whose new text is `text` (one or more whole
// alert lines, CR LF ended). Critical when any entry is an error by the
// catalogue's severities (a monitoring error is one), else normal. The
// body is the text with LF line ends and without the last one.
// desktopSound: the utility's own beep cannot be heard and the audio is on.
DesktopNotice AlarmNotice(const std::string& text, bool desktopSound);

// The note that the utility runs without a notification area.
DesktopNotice WatchingNotice();

// A plain text made safe for a server that reads the body as markup.
std::string EscapeNoticeMarkup(const std::string& text);

// What a shell does on the desktop beside its windows. The Qt shell answers
// with a freedesktop notification and its StatusNotifierItem; a shell may
// leave any of it out.
class DesktopPresence {
 public:
  virtual ~DesktopPresence() = default;
  // An alarm starts or goes on; `text` is the alert's new text (empty: the
  // alert window was opened again without a new line).
  virtual void AlarmRaised(const std::string& text) = 0;
  // The user acknowledged the alarm.
  virtual void AlarmAcknowledged() = 0;
  // The main window was closed or sent to the tray by the user.
  virtual void MainWindowHidden() = 0;
};

}  // namespace kivo
