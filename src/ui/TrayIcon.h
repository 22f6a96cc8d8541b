// TrayIcon: the program's icon in the notification area and its menu 200.
// Where the session bus has a StatusNotifierItem watcher (KDE Plasma, wlroots
// bars, GNOME with an extension), the icon is a StatusNotifierItem: its menu
// goes through the host's D-Bus menu, and during an alarm it says
// NeedsAttention with the alarm icon. Without one, on X11, it is the X11
// tray's icon of the toolkit, created lazily, blinking with the alarm. Without
// either the program runs on, and a tray that appears later (a watcher or an
// X11 tray) gets the icon. Mouse events arrive as the window messages of a
// tray callback would, and the menu's choices reach the owner as ordinary
// commands. Shell code only.
#pragma once

#include <QDBusConnection>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;

namespace kivo {

class StatusNotifierItem;

// What the icon asks of the main window.
class TrayOwner {
 public:
  virtual ~TrayOwner() = default;
  virtual void ShowAlert(const std::string& line) = 0;
  virtual void DispatchCommand(int id) = 0;
  // The main window, shown and active (where no menu can be shown at the
  // icon, the window's own menu holds the commands).
  virtual void OpenMainWindow() {}
};

class TrayIcon : public QObject {
  Q_OBJECT

 public:
  static constexpr int kTrayIconId = 128;
  static constexpr int kTrayCallback = 1025;
  static constexpr int WM_LBUTTONDBLCLK = 0x0203;
  static constexpr int WM_RBUTTONDOWN = 0x0204;
  static constexpr int WM_RBUTTONUP = 0x0205;
  static constexpr int WM_LBUTTONUP = 0x0202;
  static constexpr int kViewAlarms = 201;
  static constexpr int kAboutFromTray = 32781;
  static constexpr int kExitFromTray = 203;

  // `bus` carries the StatusNotifierItem (the session bus by default).
  explicit TrayIcon(TrayOwner& owner, QObject* parent = nullptr,
                    QDBusConnection bus = QDBusConnection::sessionBus());
  ~TrayIcon() override;

  // Shows the icon with its tip (at most 63 characters are kept). False when
  // the desktop has no notification area yet; the icon then appears when one
  // starts. The caller does not look.
  bool AddTrayIcon(int id, const QIcon& icon, const std::string& tip);
  bool RemoveTrayIcon(int id);
  bool IsAdded() const { return added_; }
  const std::string& Tip() const { return tip_; }

  // Whether a tray shows the icon now; HostChecked once the first look at
  // the session bus (and the X11 tray) is done.
  bool HostChecked() const;
  bool HasHost() const;
  // The icon is a StatusNotifierItem registered with a watcher.
  bool OnStatusNotifierHost() const;
  StatusNotifierItem* Item() const { return item_.get(); }

  // A mouse message over the icon (WM_LBUTTONDBLCLK, WM_RBUTTONUP, ...).
  void HandleTrayCallback(int mouseMessage);
  // The mouse message that a tray's activation stands for, or 0. An icon
  // embedded in an X11 tray reports presses, so its single click means
  // nothing and its menu waits for the release; a StatusNotifierItem host
  // never sends a double click: its activation opens the alert window and
  // its context request is the release of the right button.
  static int MouseMessageOf(QSystemTrayIcon::ActivationReason reason, bool embeddedIcon);
  // The alarm icon (true) or the program's icon (false) on the X11 tray's
  // icon, which blinks with the alert window's flash.
  void ShowAlarmIcon(bool alarm);
  bool AlarmIconShown() const { return alarmShown_; }
  // The alarm runs (or not): the StatusNotifierItem's NeedsAttention, with
  // `text` (the newest alert text) in its tool tip.
  void SetAlarm(bool running, const std::string& text);
  // Menu 200's popup, built afresh for every showing; each action's data is
  // its command number.
  static std::unique_ptr<QMenu> BuildMenu();

  // How the popup is shown: the default runs the menu at the point and
  // returns the chosen action. Tests replace it.
  std::function<QAction*(QMenu&, const QPoint&)> popup;

 signals:
  // HostChecked or HasHost may have changed.
  void HostChanged();

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void Activated(QSystemTrayIcon::ActivationReason reason);
  // Puts the icon where it shows: the StatusNotifierItem, else the X11 tray.
  void Place();
  void ContextMenuAt(const QPoint& at);

  TrayOwner& owner_;
  QDBusConnection bus_;
  std::unique_ptr<StatusNotifierItem> item_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  QIcon appIcon_;
  QIcon alarmIcon_;
  bool alarmShown_ = false;
  QString alarmText_;  // the newest alert text of the running alarm
  bool added_ = false;
  std::string tip_;
};

}  // namespace kivo
