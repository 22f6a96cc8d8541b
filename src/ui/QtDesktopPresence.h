// QtDesktopPresence: the Qt shell's answer to DesktopPresence. An alarm puts
// the tray item into NeedsAttention and sends a desktop notification whose
// "OK" acknowledges it and whose "Show" opens the alert window; an
// acknowledged alarm takes both back. On a desktop without a notification
// area it says once at start-up, and each time the user closes the main
// window, that the utility is watching and how to open it. Qt shell glue;
// the main window owns it.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "shell/DesktopNotice.h"
#include "ui/NotificationClient.h"

namespace kivo {

class TrayIcon;

class QtDesktopPresence : public QObject, public DesktopPresence {
  Q_OBJECT

 public:
  // What the actions of the notifications do in the windows.
  struct Hooks {
    std::function<void()> acknowledgeAlarm;                        // "OK"
    std::function<void(const std::string& token)> showAlert;       // "Show"
    std::function<void(const std::string& token)> showMainWindow;  // "Open"
    // True when the alarm's own beep cannot be heard but should be (the
    // audio is on and the sound device does not open).
    std::function<bool()> desktopSound;
  };

  QtDesktopPresence(QDBusConnection bus, TrayIcon& tray, Hooks hooks, QObject* parent = nullptr);

  // DesktopPresence.
  void AlarmRaised(const std::string& text) override;
  void AlarmAcknowledged() override;
  void MainWindowHidden() override;

  NotificationClient& Notifications() { return notifications_; }

 private:
  void TrayChecked();
  void Action(DesktopNotice::Kind kind, const QString& action, const QString& token);

  TrayIcon& tray_;
  Hooks hooks_;
  NotificationClient notifications_;
  bool startupTold_ = false;
};

}  // namespace kivo
