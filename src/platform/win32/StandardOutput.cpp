// Standard output in binary mode: no LF is turned into CR LF.
#include "platform/StandardOutput.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace kivo::platform {

void UseBinaryStandardOutput() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

// A write to a closed pipe fails with an error there; no signal is raised.
void ReportLostReaderAsWriteError() {}

}  // namespace kivo::platform
