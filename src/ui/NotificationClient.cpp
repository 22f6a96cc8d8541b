// Desktop notifications over D-Bus.
#include "ui/NotificationClient.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

namespace kivo {

namespace {

constexpr char kInterface[] = "org.freedesktop.Notifications";

QDBusMessage Call(const char* method) {
  return QDBusMessage::createMethodCall(QString::fromLatin1(NotificationClient::kService),
                                        QString::fromLatin1(NotificationClient::kPath),
                                        QString::fromLatin1(kInterface), QString::fromLatin1(method));
}

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

NotificationClient::NotificationClient(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
  if (!bus_.isConnected()) return;
  const QString service = QString::fromLatin1(kService);
  const QString path = QString::fromLatin1(kPath);
  const QString interface = QString::fromLatin1(kInterface);
  bus_.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
               SLOT(OnActionInvoked(uint, QString)));
  bus_.connect(service, path, interface, QStringLiteral("ActivationToken"), this,
               SLOT(OnActivationToken(uint, QString)));
  bus_.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
               SLOT(OnClosed(uint, uint)));
}

void NotificationClient::Show(const DesktopNotice& notice) {
  Slot& slot = slots_[Index(notice.kind)];
  slot.queued = notice;
  slot.withdrawn = false;
  if (!bus_.isConnected()) {
    Report(QStringLiteral("no session bus"));
    slot.queued.reset();
    return;
  }
  if (!markup_.has_value()) {
    AskCapabilities();
    return;
  }
  // A notice that arrives while the last one is sent waits for its id, so
  // that it replaces it rather than piling up beside it.
  if (!slot.sending) Send(notice.kind);
}

void NotificationClient::Withdraw(DesktopNotice::Kind kind) {
  Slot& slot = slots_[Index(kind)];
  slot.queued.reset();
  if (slot.sending) {
    slot.withdrawn = true;
    return;
  }
  if (slot.id != 0) Close(slot.id);
  slot.id = 0;
}

void NotificationClient::AskCapabilities() {
  if (asking_) return;
  asking_ = true;
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(Call("GetCapabilities")), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending] {
    pending->deleteLater();
    asking_ = false;
    const QDBusPendingReply<QStringList> reply = *pending;
    if (reply.isError()) {
      Report(reply.error().name() + QStringLiteral(": ") + reply.error().message());
      // Asked again with the next notice: a server may start later.
      for (Slot& slot : slots_) slot.queued.reset();
      return;
    }
    markup_ = reply.value().contains(QStringLiteral("body-markup"));
    for (const DesktopNotice::Kind kind : {DesktopNotice::Kind::kAlarm, DesktopNotice::Kind::kWatching}) {
      if (slots_[Index(kind)].queued && !slots_[Index(kind)].sending) Send(kind);
    }
  });
}

void NotificationClient::Send(DesktopNotice::Kind kind) {
  Slot& slot = slots_[Index(kind)];
  if (!slot.queued) return;
  const DesktopNotice notice = *slot.queued;
  slot.queued.reset();

  QStringList actions;
  for (const auto& [key, label] : notice.actions) actions << Latin1(key) << Latin1(label);
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(notice.urgency)));
  hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry));
  if (!notice.category.empty()) hints.insert(QStringLiteral("category"), Latin1(notice.category));
  if (notice.kind == DesktopNotice::Kind::kAlarm) {
    // The utility beeps itself, or the audio is off: the desktop stays
    // quiet. Where the sound device cannot be opened the desktop plays it.
    if (notice.desktopSound) {
      hints.insert(QStringLiteral("sound-name"), QString::fromLatin1(kNoticeSoundName));
    } else {
      hints.insert(QStringLiteral("suppress-sound"), true);
    }
  }
  const std::string body = markup_.value_or(false) ? EscapeNoticeMarkup(notice.body) : notice.body;
  QDBusMessage call = Call("Notify");
  call << QString::fromLatin1(kAppName) << slot.id << QString::fromLatin1(kDesktopEntry)
       << Latin1(notice.summary) << Latin1(body) << actions << hints << static_cast<int>(notice.expireMs);
  slot.sending = true;
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, kind] {
    pending->deleteLater();
    Slot& sent = slots_[Index(kind)];
    sent.sending = false;
    const QDBusPendingReply<uint> reply = *pending;
    if (reply.isError()) {
      Report(reply.error().name() + QStringLiteral(": ") + reply.error().message());
      sent.id = 0;
    } else {
      sent.id = reply.value();
    }
    if (sent.withdrawn) {
      sent.withdrawn = false;
      if (sent.id != 0) Close(sent.id);
      sent.id = 0;
      return;
    }
    if (sent.queued) Send(kind);
  });
}

void NotificationClient::Close(quint32 id) {
  QDBusMessage call = Call("CloseNotification");
  call << id;
  // The answer does not matter: a notification already gone is gone.
  bus_.asyncCall(call);
}

void NotificationClient::Report(const QString& error) {
  if (reported_) return;
  reported_ = true;
  std::fprintf(stderr, "kivo: no desktop notifications: %s\n", error.toLocal8Bit().constData());
}

std::optional<DesktopNotice::Kind> NotificationClient::KindOf(quint32 id) const {
  if (id == 0) return std::nullopt;
  for (const DesktopNotice::Kind kind : {DesktopNotice::Kind::kAlarm, DesktopNotice::Kind::kWatching}) {
    if (slots_[Index(kind)].id == id) return kind;
  }
  return std::nullopt;
}

void NotificationClient::OnActivationToken(uint id, const QString& token) {
  // The server sends it just before the action it belongs to.
  tokenId_ = id;
  token_ = token;
}

void NotificationClient::OnActionInvoked(uint id, const QString& action) {
  const QString token = tokenId_ == id ? token_ : QString();
  tokenId_ = 0;
  token_.clear();
  if (const std::optional<DesktopNotice::Kind> kind = KindOf(id)) emit ActionInvoked(*kind, action, token);
}

void NotificationClient::OnClosed(uint id, uint reason) {
  (void)reason;
  if (const std::optional<DesktopNotice::Kind> kind = KindOf(id)) slots_[Index(*kind)].id = 0;
}

}  // namespace kivo
