// The nested event loop of a blocking socket call: it ends when the
// descriptor's notifier fires or the time is up; the caller then looks at
// the descriptor itself.
#include "ui/QtSocketWait.h"

#include <poll.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

namespace kivo {

int QtSocketWait::WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  const int ready = ::poll(&p, 1, 0);
  if (ready != 0 || timeoutMs == 0) return ready;

  QEventLoop loop;
  QSocketNotifier notifier(fd, (events & POLLOUT) != 0 ? QSocketNotifier::Write : QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  if (timeoutMs > 0) limit.start(timeoutMs);
  loop.exec();
  return ::poll(&p, 1, 0);
}

}  // namespace kivo
