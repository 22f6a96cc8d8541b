// CommandListener: the utility's side of the command channel. Each command
// received (its number, and the sender's activation token) is handed to the
// main window's command dispatch on the user-interface thread, as a command
// message would be. Used by MonitorApp.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>

#include "app/CommandChannel.h"

namespace kivo {

class CommandListener : public QObject {
  Q_OBJECT

 public:
  explicit CommandListener(std::function<void(const CommandMessage&)> dispatch, QObject* parent = nullptr);
  // The command number alone.
  explicit CommandListener(std::function<void(int)> dispatch, QObject* parent = nullptr);
  ~CommandListener() override;

  // False when the socket cannot be bound; the utility then runs without it.
  bool Listen(const std::string& path);

 private:
  void ReadCommands();

  std::function<void(const CommandMessage&)> dispatch_;
  CommandReceiver receiver_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace kivo
