// The private bus and its fakes.
#include "PrivateBus.h"

#include <QDBusArgument>
#include <QFile>
#include <QTest>

namespace kivo::test {

namespace {

constexpr QDBusConnection::RegisterOptions kExported = QDBusConnection::ExportScriptableSlots |
                                                       QDBusConnection::ExportScriptableSignals |
                                                       QDBusConnection::ExportScriptableProperties;

}  // namespace

PrivateBus::~PrivateBus() {
  for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
  if (daemon_.state() != QProcess::NotRunning) {
    daemon_.terminate();
    daemon_.waitForFinished(5000);
  }
}

bool PrivateBus::Start() {
  const QString config = QString::fromStdString(dir_.Path() + "/bus.conf");
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) {
    ADD_FAILURE() << "cannot write " << config.toStdString();
    return false;
  }
  file.write(
      QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>\n"
                     "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
          .arg(QString::fromStdString(dir_.Path()))
          .toUtf8());
  file.close();
  daemon_.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                 QStringLiteral("--print-address")});
  if (!daemon_.waitForStarted(10000)) {
    ADD_FAILURE() << "dbus-daemon does not start (package dbus-daemon)";
    return false;
  }
  QByteArray line;
  if (!QTest::qWaitFor([&] { return daemon_.canReadLine() || daemon_.state() == QProcess::NotRunning; },
                       10000) ||
      !daemon_.canReadLine()) {
    ADD_FAILURE() << "dbus-daemon gave no address: " << daemon_.readAllStandardError().toStdString();
    return false;
  }
  address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
  return true;
}

QDBusConnection PrivateBus::Connect(const QString& name) {
  names_.append(name);
  return QDBusConnection::connectToBus(address_, name);
}

FakeWatcher::FakeWatcher(QDBusConnection bus, bool host) : bus_(std::move(bus)), host_(host) {
  EXPECT_TRUE(bus_.registerObject(QStringLiteral("/StatusNotifierWatcher"), this, kExported));
  EXPECT_TRUE(bus_.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
}

FakeWatcher::~FakeWatcher() {
  bus_.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
  bus_.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
}

void FakeWatcher::SetHost(bool host) {
  host_ = host;
  if (host) {
    emit StatusNotifierHostRegistered();
  } else {
    emit StatusNotifierHostUnregistered();
  }
}

void FakeWatcher::RegisterStatusNotifierItem(const QString& service) {
  items.append(service);
  senders.append(message().service());
  emit StatusNotifierItemRegistered(service);
}

void FakeWatcher::RegisterStatusNotifierHost(const QString& service) {
  (void)service;
  SetHost(true);
}

FakeNotificationServer::FakeNotificationServer(QDBusConnection bus, QStringList capabilities)
    : bus_(std::move(bus)), capabilities_(std::move(capabilities)) {
  EXPECT_TRUE(bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, kExported));
  EXPECT_TRUE(bus_.registerService(QStringLiteral("org.freedesktop.Notifications")));
}

FakeNotificationServer::~FakeNotificationServer() {
  bus_.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
  bus_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

void FakeNotificationServer::Invoke(uint id, const QString& action, const QString& token) {
  if (!token.isEmpty()) emit ActivationToken(id, token);
  emit ActionInvoked(id, action);
}

uint FakeNotificationServer::Notify(const QString& appName, uint replacesId, const QString& appIcon,
                                    const QString& summary, const QString& body, const QStringList& actions,
                                    const QVariantMap& hints, int expireTimeout) {
  const uint id = replacesId != 0 ? replacesId : ++next_;
  notified.push_back({appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout, id});
  return id;
}

void FakeNotificationServer::CloseNotification(uint id) {
  closed.push_back(id);
  emit NotificationClosed(id, 3);
}

QStringList FakeNotificationServer::GetCapabilities() {
  return capabilities_;
}

QString FakeNotificationServer::GetServerInformation(QString& vendor, QString& version,
                                                     QString& specVersion) {
  vendor = QStringLiteral("kivo tests");
  version = QStringLiteral("1");
  specVersion = QStringLiteral("1.2");
  return QStringLiteral("fake");
}

QVariant ReadProperty(QDBusConnection& bus, const QString& service, const QString& path,
                      const QString& interface, const QString& name) {
  const QDBusMessage reply = CallMethod(bus, service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                        QStringLiteral("Get"), {interface, name});
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  return reply.arguments().first().value<QDBusVariant>().variant();
}

QDBusMessage CallMethod(QDBusConnection& bus, const QString& service, const QString& path,
                        const QString& interface, const QString& method, const QVariantList& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
  call.setArguments(arguments);
  // The code under test answers on this thread: the wait keeps it running.
  return bus.call(call, QDBus::BlockWithGui, 10000);
}

}  // namespace kivo::test
