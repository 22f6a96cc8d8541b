// TrayIcon: the program's icon in the notification area and its menu 200.
// The Qt icon is created lazily; without a tray the program runs on, and a
// tray that appears later gets the icon. Mouse events arrive as the window
// messages of a tray callback would, and the menu's choices reach the owner
// as ordinary commands. While an alarm is unacknowledged the icon alternates
// with the alarm icon. Shell code only.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;

namespace kivo {

// What the icon asks of the main window.
class TrayOwner {
 public:
  virtual ~TrayOwner() = default;
  virtual void ShowAlert(const std::string& line) = 0;
  virtual void DispatchCommand(int id) = 0;
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

  explicit TrayIcon(TrayOwner& owner, QObject* parent = nullptr);
  ~TrayIcon() override;

  // Shows the icon with its tip (at most 63 characters are kept). False when
  // the desktop has no notification area yet; the icon then appears when one
  // starts. The caller does not look.
  bool AddTrayIcon(int id, const QIcon& icon, const std::string& tip);
  bool RemoveTrayIcon(int id);
  bool IsAdded() const { return added_; }
  const std::string& Tip() const { return tip_; }

  // A mouse message over the icon (WM_LBUTTONDBLCLK, WM_RBUTTONUP, ...).
  void HandleTrayCallback(int mouseMessage);
  // The mouse message that a tray's activation stands for, or 0. An icon
  // embedded in an X11 tray reports presses, so its single click means
  // nothing and its menu waits for the release; a StatusNotifierItem host
  // never sends a double click: its activation opens the alert window and
  // its context request is the release of the right button.
  static int MouseMessageOf(QSystemTrayIcon::ActivationReason reason, bool embeddedIcon);
  // The alarm icon (true) or the program's icon (false).
  void ShowAlarmIcon(bool alarm);
  bool AlarmIconShown() const { return alarmShown_; }
  // Menu 200's popup, built afresh for every showing; each action's data is
  // its command number.
  static std::unique_ptr<QMenu> BuildMenu();

  // How the popup is shown: the default runs the menu at the point and
  // returns the chosen action. Tests replace it.
  std::function<QAction*(QMenu&, const QPoint&)> popup;

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void Activated(QSystemTrayIcon::ActivationReason reason);

  TrayOwner& owner_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  QIcon appIcon_;
  QIcon alarmIcon_;
  bool alarmShown_ = false;
  bool added_ = false;
  std::string tip_;
};

}  // namespace kivo
