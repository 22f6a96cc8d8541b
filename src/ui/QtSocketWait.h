// QtSocketWait: the desktop shell's SocketWait. A blocking socket call waits
// in a nested event loop, so windows keep painting and the alarm keeps
// beeping and flashing while a mail server is slow to accept or to read.
#pragma once

#include "platform/SocketWait.h"

namespace kivo {

class QtSocketWait : public platform::SocketWait {
 public:
  int WaitFor(int fd, short events, int timeoutMs) override;
};

}  // namespace kivo
