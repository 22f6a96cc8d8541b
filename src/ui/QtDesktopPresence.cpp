// The alarm and the watching note on the desktop: tray item and notifications.
#include "ui/QtDesktopPresence.h"

#include "ui/TrayIcon.h"

namespace kivo {

QtDesktopPresence::QtDesktopPresence(QDBusConnection bus, TrayIcon& tray, Hooks hooks, QObject* parent)
    : QObject(parent), tray_(tray), hooks_(std::move(hooks)), notifications_(std::move(bus)) {
  connect(&notifications_, &NotificationClient::ActionInvoked, this, &QtDesktopPresence::Action);
  connect(&tray_, &TrayIcon::HostChanged, this, &QtDesktopPresence::TrayChecked);
  TrayChecked();
}

void QtDesktopPresence::AlarmRaised(const std::string& text) {
  tray_.SetAlarm(true, text);
  // Opening the alert window again brings no news to tell.
  if (text.empty()) return;
  notifications_.Show(AlarmNotice(text, hooks_.desktopSound && hooks_.desktopSound()));
}

void QtDesktopPresence::AlarmAcknowledged() {
  tray_.SetAlarm(false, "");
  notifications_.Withdraw(DesktopNotice::Kind::kAlarm);
}

void QtDesktopPresence::MainWindowHidden() {
  if (tray_.HostChecked() && !tray_.HasHost()) notifications_.Show(WatchingNotice());
}

void QtDesktopPresence::TrayChecked() {
  // Told once, when it is known whether a tray shows the icon at start-up.
  if (startupTold_ || !tray_.HostChecked()) return;
  startupTold_ = true;
  if (!tray_.HasHost()) notifications_.Show(WatchingNotice());
}

void QtDesktopPresence::Action(DesktopNotice::Kind kind, const QString& action, const QString& token) {
  const std::string key = action.toStdString();
  const std::string activationToken = token.toStdString();
  if (kind == DesktopNotice::Kind::kAlarm) {
    if (key == kNoticeActionOk) {
      if (hooks_.acknowledgeAlarm) hooks_.acknowledgeAlarm();
    } else if (key == kNoticeActionShow || key == kNoticeActionDefault) {
      if (hooks_.showAlert) hooks_.showAlert(activationToken);
    }
    return;
  }
  if ((key == kNoticeActionOpen || key == kNoticeActionDefault) && hooks_.showMainWindow) {
    hooks_.showMainWindow(activationToken);
  }
}

}  // namespace kivo
