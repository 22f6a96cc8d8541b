// Socket read notifications through QSocketNotifier.
#include "ui/QtSocketWatcher.h"

#include <poll.h>
#include <sys/socket.h>

#include <QSocketNotifier>
#include <utility>

#include "platform/TcpSocket.h"

namespace kivo {

namespace {
// The Winsock code of an error pending on the socket, or 0. Only read when
// poll reports one, so an ordinary read notification keeps the socket's state
// for the owner's own Receive.
int PendingWinsockError(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0 || (p.revents & POLLERR) == 0) return 0;
  int error = 0;
  socklen_t length = sizeof(error);
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error == 0) return 0;
  return platform::WinsockErrorFromErrno(error);
}
}  // namespace

QtSocketWatcher::QtSocketWatcher(QObject* parent) : QObject(parent) {
  // The limits are counted in seconds: a check twice a second is enough.
  limitTimer_.setInterval(500);
  connect(&limitTimer_, &QTimer::timeout, this, [this] { CheckTimeLimits(); });
}

QtSocketWatcher::~QtSocketWatcher() {
  for (auto& [fd, entry] : watches_) delete entry.notifier;
}

void QtSocketWatcher::Watch(int fd, Callback callback) {
  auto found = watches_.find(fd);
  if (found != watches_.end()) {
    found->second.callback = std::move(callback);
    return;
  }
  auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
  connect(notifier, &QSocketNotifier::activated, this, [this, fd] { Dispatch(fd, PendingWinsockError(fd)); });
  watches_[fd] = Entry{notifier, std::move(callback)};
}

void QtSocketWatcher::Unwatch(int fd) {
  auto found = watches_.find(fd);
  if (found == watches_.end()) return;
  // The notifier may be the one whose signal is running: it goes later.
  found->second.notifier->setEnabled(false);
  found->second.notifier->deleteLater();
  watches_.erase(found);
  SetTimeLimit(fd, 0);
}

void QtSocketWatcher::SetTimeLimit(int fd, std::uint32_t ms) {
  if (ms == 0 || watches_.count(fd) == 0) {
    deadlines_.erase(fd);
  } else {
    deadlines_[fd] = clock_->Now() + static_cast<std::time_t>((ms + 999) / 1000);
  }
  if (deadlines_.empty()) {
    limitTimer_.stop();
  } else if (!limitTimer_.isActive()) {
    limitTimer_.start();
  }
}

void QtSocketWatcher::CheckTimeLimits() {
  const std::time_t now = clock_->Now();
  for (auto it = deadlines_.begin(); it != deadlines_.end();) {
    if (it->second > now) {
      ++it;
      continue;
    }
    const int fd = it->first;
    deadlines_.erase(it);
    // The callback may change the watches and limits: start again after it.
    Dispatch(fd, platform::WSAETIMEDOUT);
    it = deadlines_.begin();
  }
  if (deadlines_.empty()) limitTimer_.stop();
}

void QtSocketWatcher::Dispatch(int fd, int errorCode) {
  auto found = watches_.find(fd);
  if (found == watches_.end()) return;
  // A copy, so the callback may unwatch (and so destroy the entry) safely.
  const Callback callback = found->second.callback;
  if (callback) callback(errorCode);
}

}  // namespace kivo
