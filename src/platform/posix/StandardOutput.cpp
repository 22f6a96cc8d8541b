// On Linux standard output is a byte stream already; a closed pipe raises
// SIGPIPE unless it is ignored.
#include "platform/StandardOutput.h"

#include <csignal>

namespace kivo::platform {

void UseBinaryStandardOutput() {}

void ReportLostReaderAsWriteError() {
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace kivo::platform
