// A session bus of the test's own (dbus-daemon on a socket in a temporary
// directory) with the desktop's side played by fakes that record what they
// were asked: a StatusNotifierWatcher (the tray) and a notification server.
// The code under test gets a connection of its own; the fakes and the test,
// acting as the tray's host, use another.
#pragma once

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <vector>

#include "support/TempDir.h"

namespace kivo::test {

class PrivateBus {
 public:
  PrivateBus() = default;
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  // Starts the daemon; false (with the reason in a test failure) when it
  // cannot be started.
  bool Start();
  // A new connection of the process to the bus, under a name of its own.
  QDBusConnection Connect(const QString& name);
  const QString& Address() const { return address_; }

 private:
  TempDir dir_;
  QProcess daemon_;
  QString address_;
  QStringList names_;
};

// The tray's watcher, as a panel's StatusNotifierWatcher serves it.
class FakeWatcher : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
  Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

 public:
  // Takes the watcher's name on `bus`; `host`: a host is registered.
  FakeWatcher(QDBusConnection bus, bool host);
  ~FakeWatcher() override;
  void SetHost(bool host);

  QStringList RegisteredStatusNotifierItems() const { return items; }
  bool IsStatusNotifierHostRegistered() const { return host_; }
  int ProtocolVersion() const { return 0; }

  QStringList items;    // as registered
  QStringList senders;  // the unique names that registered them

 public slots:
  Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service);
  Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString& service);

 signals:
  Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString& service);
  Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString& service);
  Q_SCRIPTABLE void StatusNotifierHostRegistered();
  Q_SCRIPTABLE void StatusNotifierHostUnregistered();

 private:
  QDBusConnection bus_;
  bool host_;
};

// One Notify call as the server saw it.
struct NotifyCall {
  QString appName;
  uint replacesId;
  QString appIcon;
  QString summary;
  QString body;
  QStringList actions;
  QVariantMap hints;
  int expireTimeout;
  uint id;  // the id answered
};

// A notification server of the freedesktop specification.
class FakeNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  explicit FakeNotificationServer(QDBusConnection bus, QStringList capabilities = {"body", "actions"});
  ~FakeNotificationServer() override;

  // The user clicks an action; the server hands out a token first.
  void Invoke(uint id, const QString& action, const QString& token);

  std::vector<NotifyCall> notified;
  std::vector<uint> closed;

 public slots:
  Q_SCRIPTABLE uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                           const QString& summary, const QString& body, const QStringList& actions,
                           const QVariantMap& hints, int expireTimeout);
  Q_SCRIPTABLE void CloseNotification(uint id);
  Q_SCRIPTABLE QStringList GetCapabilities();
  Q_SCRIPTABLE QString GetServerInformation(QString& vendor, QString& version, QString& specVersion);

 signals:
  Q_SCRIPTABLE void NotificationClosed(uint id, uint reason);
  Q_SCRIPTABLE void ActionInvoked(uint id, const QString& actionKey);
  Q_SCRIPTABLE void ActivationToken(uint id, const QString& activationToken);

 private:
  QDBusConnection bus_;
  QStringList capabilities_;
  uint next_ = 0;
};

// Records the string argument of a signal it is connected to.
class StringRecorder : public QObject {
  Q_OBJECT

 public slots:
  void Record(const QString& value) { values.append(value); }

 public:
  QStringList values;
};

// Properties of an object as another client reads them.
QVariant ReadProperty(QDBusConnection& bus, const QString& service, const QString& path,
                      const QString& interface, const QString& name);
// A method call from another client; its reply.
QDBusMessage CallMethod(QDBusConnection& bus, const QString& service, const QString& path,
                        const QString& interface, const QString& method, const QVariantList& arguments);

}  // namespace kivo::test
