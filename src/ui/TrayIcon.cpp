// The notification-area icon and its menu 200: a StatusNotifierItem where a
// watcher is on the session bus, the toolkit's X11 tray icon otherwise.
#include "ui/TrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>

#include "ui/DialogUnits.h"
#include "ui/StatusNotifierItem.h"

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

// Only X11 has a tray of windows; elsewhere the toolkit's icon could only
// warn that there is none.
bool OnX11() {
  return QGuiApplication::platformName() == QStringLiteral("xcb");
}

}  // namespace

TrayIcon::TrayIcon(TrayOwner& owner, QObject* parent, QDBusConnection bus)
    : QObject(parent), owner_(owner), bus_(std::move(bus)) {
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
  added_ = true;
  if (!item_) {
    const std::unique_ptr<QMenu> menu = BuildMenu();
    item_ = std::make_unique<StatusNotifierItem>(bus_, QString::fromLatin1(tip_.c_str()), *menu);
    connect(item_.get(), &StatusNotifierItem::StateChanged, this, &TrayIcon::Place);
    connect(item_.get(), &StatusNotifierItem::Activated, this, [this] {
      if (added_) HandleTrayCallback(WM_LBUTTONDBLCLK);
    });
    connect(item_.get(), &StatusNotifierItem::ContextMenuRequested, this, &TrayIcon::ContextMenuAt);
    connect(item_.get(), &StatusNotifierItem::MenuCommand, this, [this](int command) {
      if (added_) owner_.DispatchCommand(command);
    });
  }
  item_->SetIcons(appIcon_, alarmIcon_);
  if (icon_) {
    icon_->setIcon(alarmShown_ ? alarmIcon_ : appIcon_);
    icon_->setToolTip(QString::fromLatin1(tip_.c_str()));
  }
  // Watches for a watcher from now on; Place follows each change.
  item_->Start();
  Place();
  return HasHost();
}

bool TrayIcon::RemoveTrayIcon(int id) {
  (void)id;
  if (!added_) return false;
  added_ = false;
  if (item_) item_->Stop();
  if (icon_) icon_->hide();
  emit HostChanged();
  return true;
}

void TrayIcon::Place() {
  if (!added_) return;
  if (item_ && item_->Registered()) {
    // The host shows the item; an X11 tray icon beside it would be a second.
    if (icon_) {
      icon_->hide();
      qApp->removeEventFilter(this);
      icon_.reset();
    }
  } else if ((!item_ || item_->Checked()) && OnX11()) {
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
  }
  emit HostChanged();
}

bool TrayIcon::HostChecked() const {
  return added_ && (!item_ || item_->Checked());
}

bool TrayIcon::HasHost() const {
  if (item_ && item_->HostPresent()) return true;
  return icon_ != nullptr && QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::OnStatusNotifierHost() const {
  return item_ && item_->Registered();
}

void TrayIcon::ShowAlarmIcon(bool alarm) {
  if (alarm == alarmShown_) return;
  alarmShown_ = alarm;
  if (icon_) icon_->setIcon(alarm ? alarmIcon_ : appIcon_);
}

void TrayIcon::SetAlarm(bool running, const std::string& text) {
  // The alert window opened again brings no line: the tip keeps the last.
  if (!running) {
    alarmText_.clear();
  } else if (!text.empty()) {
    alarmText_ = QString::fromLatin1(text.c_str());
    alarmText_.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    alarmText_ = alarmText_.trimmed();
  }
  if (item_) item_->SetAttention(running, alarmText_);
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

void TrayIcon::ContextMenuAt(const QPoint& at) {
  (void)at;
  if (!added_) return;
  // A host that shows no D-Bus menu asks the item for one. On X11 a popup
  // can open at the pointer; elsewhere a popup needs a parent window to be
  // placed against, and would otherwise open as a window of its own: the
  // main window comes instead, whose menu holds the same commands.
  if (OnX11()) {
    HandleTrayCallback(WM_RBUTTONUP);
  } else {
    owner_.OpenMainWindow();
  }
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
