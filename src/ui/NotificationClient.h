// NotificationClient: desktop notifications over org.freedesktop.Notifications.
// One notification of each kind (the alarm, the watching note) at a time: a
// new one replaces the one still open (replaces_id). Actions come back with
// the activation token the server handed out for them. Without a server
// nothing is shown and standard error gets one note per run. Every call is
// asynchronous. Qt shell glue, used by QtDesktopPresence.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <array>
#include <optional>
#include <string>

#include "shell/DesktopNotice.h"

namespace kivo {

class NotificationClient : public QObject {
  Q_OBJECT

 public:
  static constexpr char kService[] = "org.freedesktop.Notifications";
  static constexpr char kPath[] = "/org/freedesktop/Notifications";
  static constexpr char kAppName[] = "Kivo Disk Management Utility";
  static constexpr char kDesktopEntry[] = "kivo";

  explicit NotificationClient(QDBusConnection bus, QObject* parent = nullptr);

  // Sends the notice, replacing the open one of its kind.
  void Show(const DesktopNotice& notice);
  // Closes the open notification of this kind, if any.
  void Withdraw(DesktopNotice::Kind kind);
  // The server's id of the open notification of this kind; 0: none.
  quint32 OpenId(DesktopNotice::Kind kind) const { return slots_[Index(kind)].id; }
  // The note about a missing server was written.
  bool Unavailable() const { return reported_; }

 signals:
  // An action of an open notification; `activationToken` empty when the
  // server gave none.
  void ActionInvoked(kivo::DesktopNotice::Kind kind, const QString& action, const QString& activationToken);

 private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnActivationToken(uint id, const QString& token);
  void OnClosed(uint id, uint reason);

 private:
  struct Slot {
    quint32 id = 0;
    bool sending = false;                 // a Notify awaits its reply
    bool withdrawn = false;               // closed while it was sent
    std::optional<DesktopNotice> queued;  // shown when the reply comes
  };
  static std::size_t Index(DesktopNotice::Kind kind) { return kind == DesktopNotice::Kind::kAlarm ? 0 : 1; }
  void AskCapabilities();
  void Send(DesktopNotice::Kind kind);
  void Close(quint32 id);
  void Report(const QString& error);
  std::optional<DesktopNotice::Kind> KindOf(quint32 id) const;

  QDBusConnection bus_;
  std::array<Slot, 2> slots_{};
  // Known once the server answered GetCapabilities; notices wait for it.
  std::optional<bool> markup_;
  bool asking_ = false;
  bool reported_ = false;
  quint32 tokenId_ = 0;
  QString token_;
};

}  // namespace kivo
