// StatusNotifierItem: the program's icon on a StatusNotifierItem tray (KDE
// Plasma, wlroots bars, GNOME with an extension) over Qt's D-Bus module: its
// name and title, its Status (NeedsAttention while an alarm runs, with the
// alarm icon), and menu 200 exported as the host's D-Bus menu. It watches the
// session bus for org.kde.StatusNotifierWatcher and registers with every
// watcher that appears, so a tray that starts later (or again) gets the icon.
// Every call of the host is answered at once; its work follows the reply.
// Qt shell glue; TrayIcon decides when it is used.
#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <memory>

#include "ui/DBusTrayTypes.h"

class QDBusServiceWatcher;
class QMenu;

namespace kivo {

class TrayMenuExporter;

class StatusNotifierItem : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ Category)
  Q_PROPERTY(QString Id READ Id)
  Q_PROPERTY(QString Title READ Title)
  Q_PROPERTY(QString Status READ Status)
  Q_PROPERTY(int WindowId READ WindowId)
  Q_PROPERTY(QString IconThemePath READ IconThemePath)
  Q_PROPERTY(QDBusObjectPath Menu READ Menu)
  Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
  Q_PROPERTY(QString IconName READ IconName)
  Q_PROPERTY(kivo::SniIconPixmapList IconPixmap READ IconPixmap)
  Q_PROPERTY(QString OverlayIconName READ OverlayIconName)
  Q_PROPERTY(kivo::SniIconPixmapList OverlayIconPixmap READ OverlayIconPixmap)
  Q_PROPERTY(QString AttentionIconName READ AttentionIconName)
  Q_PROPERTY(kivo::SniIconPixmapList AttentionIconPixmap READ AttentionIconPixmap)
  Q_PROPERTY(QString AttentionMovieName READ AttentionMovieName)
  Q_PROPERTY(kivo::SniToolTip ToolTip READ ToolTip)

 public:
  static constexpr char kWatcherService[] = "org.kde.StatusNotifierWatcher";
  static constexpr char kItemPath[] = "/StatusNotifierItem";
  static constexpr char kMenuPath[] = "/MenuBar";

  // `title` names the program (Id and Title); `menu` is menu 200.
  StatusNotifierItem(QDBusConnection bus, const QString& title, const QMenu& menu, QObject* parent = nullptr);
  ~StatusNotifierItem() override;

  // Starts looking for a watcher, and registers with it when one is there.
  void Start();
  // Leaves the bus: the item goes from every tray.
  void Stop();
  void SetIcons(const QIcon& icon, const QIcon& attentionIcon);
  // The alarm runs (NeedsAttention, `text` in the tool tip) or not (Active).
  void SetAttention(bool attention, const QString& text);

  // The first look at the bus is done (a watcher answered, or none is there).
  bool Checked() const { return checked_; }
  // Registered with a watcher.
  bool Registered() const { return registered_; }
  // The watcher has a host that shows the items.
  bool HostPresent() const { return registered_ && hostPresent_; }
  QString ServiceName() const { return serviceName_; }

  QString Category() const { return QStringLiteral("ApplicationStatus"); }
  QString Id() const { return title_; }
  QString Title() const { return title_; }
  QString Status() const { return attention_ ? QStringLiteral("NeedsAttention") : QStringLiteral("Active"); }
  int WindowId() const { return 0; }
  QString IconThemePath() const { return {}; }
  QDBusObjectPath Menu() const { return QDBusObjectPath(QString::fromLatin1(kMenuPath)); }
  bool ItemIsMenu() const { return false; }
  QString IconName() const { return {}; }
  SniIconPixmapList IconPixmap() const { return iconPixmaps_; }
  QString OverlayIconName() const { return {}; }
  SniIconPixmapList OverlayIconPixmap() const { return {}; }
  QString AttentionIconName() const { return {}; }
  SniIconPixmapList AttentionIconPixmap() const { return attentionPixmaps_; }
  QString AttentionMovieName() const { return {}; }
  SniToolTip ToolTip() const;

 public slots:
  Q_SCRIPTABLE void Activate(int x, int y);
  Q_SCRIPTABLE void SecondaryActivate(int x, int y);
  Q_SCRIPTABLE void ContextMenu(int x, int y);
  Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

 signals:
  Q_SCRIPTABLE void NewTitle();
  Q_SCRIPTABLE void NewIcon();
  Q_SCRIPTABLE void NewAttentionIcon();
  Q_SCRIPTABLE void NewOverlayIcon();
  Q_SCRIPTABLE void NewToolTip();
  Q_SCRIPTABLE void NewStatus(const QString& status);
  // Not on the bus.
  void Activated(QPoint at);
  void ContextMenuRequested(QPoint at);
  void MenuCommand(int command);
  // Checked, Registered or HostPresent changed.
  void StateChanged();

 private slots:
  // The watcher's StatusNotifierHostRegistered or ...Unregistered.
  void HostSignal();

 private:
  void WatcherOwnerChanged(const QString& owner);
  void Register();
  void ReadHostPresent();
  void SetState(bool checked, bool registered, bool hostPresent);
  bool Export();

  QDBusConnection bus_;
  QString title_;
  QString serviceName_;
  std::unique_ptr<TrayMenuExporter> menu_;
  std::unique_ptr<QDBusServiceWatcher> watcher_;
  SniIconPixmapList iconPixmaps_;
  SniIconPixmapList attentionPixmaps_;
  bool attention_ = false;
  QString attentionText_;
  bool started_ = false;
  bool exported_ = false;
  bool checked_ = false;
  bool registered_ = false;
  bool hostPresent_ = false;
  // Answers of an earlier watcher are not taken for the current one's.
  int generation_ = 0;
  // The generation whose watcher took the item (-1: none).
  int registeredGeneration_ = -1;
};

}  // namespace kivo
