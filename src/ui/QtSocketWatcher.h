// QtSocketWatcher: read notifications of sockets on the user-interface
// thread through QSocketNotifier, for the SMTP sender the main window owns.
// Shell code only.
#pragma once

#include <QObject>
#include <QTimer>
#include <ctime>
#include <map>

#include "platform/Clock.h"
#include "platform/SocketWatcher.h"

class QSocketNotifier;

namespace kivo {

class QtSocketWatcher : public QObject, public platform::SocketWatcher {
  Q_OBJECT

 public:
  explicit QtSocketWatcher(QObject* parent = nullptr);
  ~QtSocketWatcher() override;

  // The clock of the time limits (not owned); the system clock by default.
  void SetClock(platform::Clock* clock) { clock_ = clock != nullptr ? clock : &systemClock_; }

  void Watch(int fd, Callback callback) override;
  void Unwatch(int fd) override;
  void SetTimeLimit(int fd, std::uint32_t ms) override;
  bool Watching(int fd) const { return watches_.count(fd) != 0; }

 private:
  struct Entry {
    QSocketNotifier* notifier = nullptr;
    Callback callback;
  };
  void Dispatch(int fd, int errorCode);
  void CheckTimeLimits();

  std::map<int, Entry> watches_;
  std::map<int, std::time_t> deadlines_;
  // Runs only while a time limit is set.
  QTimer limitTimer_;
  platform::SystemClock systemClock_;
  platform::Clock* clock_ = &systemClock_;
};

}  // namespace kivo
