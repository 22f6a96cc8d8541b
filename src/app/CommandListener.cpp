// Watching the command socket with a QSocketNotifier.
#include "app/CommandListener.h"

namespace kivo {

CommandListener::CommandListener(std::function<void(const CommandMessage&)> dispatch, QObject* parent)
    : QObject(parent), dispatch_(std::move(dispatch)) {}

CommandListener::CommandListener(std::function<void(int)> dispatch, QObject* parent)
    : CommandListener(
          [number = std::move(dispatch)](const CommandMessage& message) { number(message.command); },
          parent) {}

CommandListener::~CommandListener() {
  notifier_.reset();
  receiver_.Close();
}

bool CommandListener::Listen(const std::string& path) {
  notifier_.reset();
  if (!receiver_.Bind(path)) return false;
  notifier_ = std::make_unique<QSocketNotifier>(receiver_.Descriptor(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadCommands(); });
  return true;
}

void CommandListener::ReadCommands() {
  // One command at a time: a command may run a modal dialog, inside which
  // this notifier fires again for the next datagram.
  const std::optional<CommandMessage> message = receiver_.ReceiveMessage();
  if (message && dispatch_) dispatch_(*message);
}

}  // namespace kivo
