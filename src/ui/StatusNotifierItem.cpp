// The StatusNotifierItem and its registration with the tray's watcher.
#include "ui/StatusNotifierItem.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QMetaObject>

#include "ui/TrayMenuExporter.h"

namespace kivo {

namespace {

constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
constexpr char kWatcherInterface[] = "org.kde.StatusNotifierWatcher";

constexpr QDBusConnection::RegisterOptions kExported = QDBusConnection::ExportScriptableSlots |
                                                       QDBusConnection::ExportScriptableSignals |
                                                       QDBusConnection::ExportScriptableProperties;

}  // namespace

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, const QString& title, const QMenu& menu,
                                       QObject* parent)
    : QObject(parent),
      bus_(std::move(bus)),
      title_(title),
      serviceName_(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(QCoreApplication::applicationPid())),
      menu_(std::make_unique<TrayMenuExporter>()) {
  RegisterDBusTrayTypes();
  menu_->SetEntries(menu);
  connect(menu_.get(), &TrayMenuExporter::CommandChosen, this, &StatusNotifierItem::MenuCommand);
}

StatusNotifierItem::~StatusNotifierItem() {
  Stop();
}

void StatusNotifierItem::Start() {
  if (started_) return;
  started_ = true;
  if (!bus_.isConnected()) {
    SetState(true, false, false);
    return;
  }
  watcher_ = std::make_unique<QDBusServiceWatcher>(QString::fromLatin1(kWatcherService), bus_,
                                                   QDBusServiceWatcher::WatchForOwnerChange);
  connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) { WatcherOwnerChanged(owner); });
  // The watcher tells of hosts that come and go (a panel restarting).
  for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
    bus_.connect(QString::fromLatin1(kWatcherService), QString::fromLatin1(kWatcherPath),
                 QString::fromLatin1(kWatcherInterface), QString::fromLatin1(signal), this,
                 SLOT(HostSignal()));
  }
  const QDBusMessage ask =
      QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                     QStringLiteral("/org/freedesktop/DBus"),
                                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"))
      << QString::fromLatin1(kWatcherService);
  auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(ask), this);
  const int generation = generation_;
  connect(call, &QDBusPendingCallWatcher::finished, this, [this, call, generation] {
    call->deleteLater();
    // An owner change seen meanwhile is newer than this answer.
    if (generation != generation_) return;
    const QDBusPendingReply<QString> reply = *call;
    WatcherOwnerChanged(reply.isError() ? QString() : reply.value());
  });
}

void StatusNotifierItem::Stop() {
  ++generation_;
  watcher_.reset();
  if (exported_ && bus_.isConnected()) {
    bus_.unregisterObject(QString::fromLatin1(kMenuPath));
    bus_.unregisterObject(QString::fromLatin1(kItemPath));
    bus_.unregisterService(serviceName_);
  }
  exported_ = false;
  started_ = false;
  registered_ = false;
  hostPresent_ = false;
}

void StatusNotifierItem::SetIcons(const QIcon& icon, const QIcon& attentionIcon) {
  iconPixmaps_ = IconPixmaps(icon);
  attentionPixmaps_ = IconPixmaps(attentionIcon);
  emit NewIcon();
  emit NewAttentionIcon();
}

void StatusNotifierItem::SetAttention(bool attention, const QString& text) {
  const bool statusChanged = attention != attention_;
  const bool tipChanged = statusChanged || text != attentionText_;
  attention_ = attention;
  attentionText_ = attention ? text : QString();
  if (statusChanged) emit NewStatus(Status());
  if (tipChanged) emit NewToolTip();
}

SniToolTip StatusNotifierItem::ToolTip() const {
  return SniToolTip{QString(), {}, title_, attentionText_};
}

void StatusNotifierItem::Activate(int x, int y) {
  // After the reply: the alert window must not hold the host's call.
  QMetaObject::invokeMethod(
      this, [this, x, y] { emit Activated(QPoint(x, y)); }, Qt::QueuedConnection);
}

void StatusNotifierItem::SecondaryActivate(int x, int y) {
  (void)x;
  (void)y;
}

void StatusNotifierItem::ContextMenu(int x, int y) {
  QMetaObject::invokeMethod(
      this, [this, x, y] { emit ContextMenuRequested(QPoint(x, y)); }, Qt::QueuedConnection);
}

void StatusNotifierItem::Scroll(int delta, const QString& orientation) {
  (void)delta;
  (void)orientation;
}

void StatusNotifierItem::WatcherOwnerChanged(const QString& owner) {
  ++generation_;
  if (owner.isEmpty()) {
    // The tray went; a new one registers the item anew.
    SetState(true, false, false);
    return;
  }
  Register();
}

bool StatusNotifierItem::Export() {
  if (exported_) return true;
  if (!bus_.registerService(serviceName_) ||
      !bus_.registerObject(QString::fromLatin1(kItemPath), this, kExported) ||
      !bus_.registerObject(QString::fromLatin1(kMenuPath), menu_.get(), kExported)) {
    bus_.unregisterObject(QString::fromLatin1(kItemPath));
    bus_.unregisterService(serviceName_);
    return false;
  }
  exported_ = true;
  return true;
}

void StatusNotifierItem::Register() {
  if (!Export()) {
    SetState(true, false, false);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kWatcherService), QString::fromLatin1(kWatcherPath),
      QString::fromLatin1(kWatcherInterface), QStringLiteral("RegisterStatusNotifierItem"));
  call << serviceName_;
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  const int generation = generation_;
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, generation] {
    pending->deleteLater();
    if (generation != generation_) return;
    if (pending->isError()) {
      SetState(true, false, false);
      return;
    }
    registeredGeneration_ = generation;
    ReadHostPresent();
  });
}

void StatusNotifierItem::ReadHostPresent() {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kWatcherService), QString::fromLatin1(kWatcherPath),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  call << QString::fromLatin1(kWatcherInterface) << QStringLiteral("IsStatusNotifierHostRegistered");
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  const int generation = generation_;
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, generation] {
    pending->deleteLater();
    if (generation != generation_) return;
    const QDBusPendingReply<QDBusVariant> reply = *pending;
    // A watcher that cannot say is taken at its word that it shows items.
    SetState(true, true, reply.isError() || reply.value().variant().toBool());
  });
}

void StatusNotifierItem::HostSignal() {
  if (registeredGeneration_ == generation_) ReadHostPresent();
}

void StatusNotifierItem::SetState(bool checked, bool registered, bool hostPresent) {
  if (checked == checked_ && registered == registered_ && hostPresent == hostPresent_) return;
  checked_ = checked;
  registered_ = registered;
  hostPresent_ = hostPresent;
  emit StateChanged();
}

}  // namespace kivo
