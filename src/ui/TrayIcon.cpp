// The notification-area icon and its menu 200.
#include "ui/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

#include "ui/DialogUnits.h"

namespace kivo {

namespace {

// Qt's own window for an icon embedded in an X11 tray (XEmbed); on a
// StatusNotifierItem tray there is none.
bool IsEmbeddedIconWindow(const QObject* object) {
  return object != nullptr && object->inherits("QSystemTrayIconSys");
}

bool HasEmbeddedIcon() {
  const QList<QWidget*> windows = QApplication::topLevelWidgets();
  return std::any_of(windows.begin(), windows.end(),
                     [](const QWidget* w) { return IsEmbeddedIconWindow(w); });
}

}  // namespace

TrayIcon::TrayIcon(TrayOwner& owner, QObject* parent) : QObject(parent), owner_(owner) {
  popup = [](QMenu& menu, const QPoint& at) { return menu.exec(at); };
  alarmIcon_ = QIcon(QStringLiteral(":/kivo/alarm128.png"));
}

TrayIcon::~TrayIcon() {
  if (icon_ && qApp != nullptr) qApp->removeEventFilter(this);
}

bool TrayIcon::AddTrayIcon(int id, const QIcon& icon, const std::string& tip) {
  (void)id;
  tip_ = tip.substr(0, 63);
  appIcon_ = icon;
  if (!icon_) {
    // Created also while no tray runs: the toolkit then watches for one (a
    // panel that starts late at login) and embeds the icon when it comes.
    icon_ = std::make_unique<QSystemTrayIcon>();
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &TrayIcon::Activated);
    // The embedded icon's window reports the right button on its press; the
    // menu opens on its release, which only an event filter sees.
    qApp->installEventFilter(this);
  }
  icon_->setIcon(alarmShown_ ? alarmIcon_ : appIcon_);
  icon_->setToolTip(QString::fromLatin1(tip_.c_str()));
  icon_->show();
  added_ = true;
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::RemoveTrayIcon(int id) {
  (void)id;
  if (!added_) return false;
  if (icon_) icon_->hide();
  added_ = false;
  return true;
}

void TrayIcon::ShowAlarmIcon(bool alarm) {
  if (alarm == alarmShown_) return;
  alarmShown_ = alarm;
  if (icon_) icon_->setIcon(alarm ? alarmIcon_ : appIcon_);
}

int TrayIcon::MouseMessageOf(QSystemTrayIcon::ActivationReason reason, bool embeddedIcon) {
  switch (reason) {
    case QSystemTrayIcon::DoubleClick:
      return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Trigger:
      return embeddedIcon ? 0 : WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context:
      return embeddedIcon ? 0 : WM_RBUTTONUP;
    default:
      return 0;
  }
}

void TrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
  const int message = MouseMessageOf(reason, HasEmbeddedIcon());
  if (message != 0) HandleTrayCallback(message);
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && IsEmbeddedIconWindow(watched) && added_ &&
      static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
    // Queued: the menu runs a loop of its own, which must not start inside
    // the delivery of the release.
    QMetaObject::invokeMethod(
        this, [this] { HandleTrayCallback(WM_RBUTTONUP); }, Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

std::unique_ptr<QMenu> TrayIcon::BuildMenu() {
  auto menu = std::make_unique<QMenu>();
  menu->setObjectName(QStringLiteral("menu200"));
  menu->setFont(DialogFont());
  menu->addAction(QStringLiteral("&View Alarms"))->setData(kViewAlarms);
  menu->addAction(QStringLiteral("&About Kivo..."))->setData(kAboutFromTray);
  menu->addSeparator();
  menu->addAction(QStringLiteral("E&xit"))->setData(kExitFromTray);
  return menu;
}

void TrayIcon::HandleTrayCallback(int mouseMessage) {
  if (mouseMessage == WM_LBUTTONDBLCLK) {
    owner_.ShowAlert("");
    return;
  }
  if (mouseMessage != WM_RBUTTONUP) return;
  const std::unique_ptr<QMenu> menu = BuildMenu();
  QAction* chosen = popup ? popup(*menu, QCursor::pos()) : nullptr;
  if (chosen != nullptr && chosen->data().isValid()) {
    const int command = chosen->data().toInt();
    owner_.DispatchCommand(command);
  }
}

}  // namespace kivo
