// The last error is the system's own: the platform calls leave their failure
// there, and the core reads it as the system's callers do.
#include "platform/LastError.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {

DWORD GetLastError() {
  return static_cast<DWORD>(::GetLastError());
}
void SetLastError(DWORD error) {
  ::SetLastError(error);
}

}  // namespace kivo::platform
