// Thread-local last error: each thread sees only the failures of its own calls.
#include "platform/LastError.h"

namespace kivo::platform {
namespace {
thread_local DWORD lastError = 0;
}

DWORD GetLastError() {
  return lastError;
}
void SetLastError(DWORD error) {
  lastError = error;
}

}  // namespace kivo::platform
