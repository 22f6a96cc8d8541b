// QtSocketWatcher: read notifications of sockets on the user-interface
// thread through QSocketNotifier, for the SMTP sender the main window owns.
// Shell code only.
#pragma once

#include <QObject>
#include <map>

#include "platform/SocketWatcher.h"

class QSocketNotifier;

namespace kivo {

class QtSocketWatcher : public QObject, public platform::SocketWatcher {
  Q_OBJECT

 public:
  explicit QtSocketWatcher(QObject* parent = nullptr) : QObject(parent) {}
  ~QtSocketWatcher() override;

  void Watch(int fd, Callback callback) override;
  void Unwatch(int fd) override;
  bool Watching(int fd) const { return watches_.count(fd) != 0; }

 private:
  struct Entry {
    QSocketNotifier* notifier = nullptr;
    Callback callback;
  };
  void Dispatch(int fd);

  std::map<int, Entry> watches_;
};

}  // namespace kivo
