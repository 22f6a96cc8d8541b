// The notification-area icon and its menu 200.
#include "ui/TrayIcon.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace kivo {

TrayIcon::TrayIcon(TrayOwner& owner, QObject* parent) : QObject(parent), owner_(owner) {
  popup = [](QMenu& menu, const QPoint& at) { return menu.exec(at); };
}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::AddTrayIcon(int id, const QIcon& icon, const std::string& tip) {
  (void)id;
  tip_ = tip.substr(0, 63);
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
  if (!icon_) {
    icon_ = std::make_unique<QSystemTrayIcon>();
    connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason == QSystemTrayIcon::DoubleClick) HandleTrayCallback(WM_LBUTTONDBLCLK);
      if (reason == QSystemTrayIcon::Context) HandleTrayCallback(WM_RBUTTONUP);
    });
  }
  icon_->setIcon(icon);
  icon_->setToolTip(QString::fromLatin1(tip_.c_str()));
  icon_->show();
  added_ = true;
  return true;
}

bool TrayIcon::RemoveTrayIcon(int id) {
  (void)id;
  if (!added_) return false;
  if (icon_) icon_->hide();
  added_ = false;
  return true;
}

std::unique_ptr<QMenu> TrayIcon::BuildMenu() {
  auto menu = std::make_unique<QMenu>();
  menu->setObjectName(QStringLiteral("menu200"));
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
