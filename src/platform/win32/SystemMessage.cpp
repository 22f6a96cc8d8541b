// The system's own wording of a Win32 error code (FormatMessageA).
#include "platform/SystemMessage.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {

DWORD FormatMessageA(DWORD flags, DWORD messageId, DWORD languageId, char* buffer, DWORD nSize) {
  return static_cast<DWORD>(::FormatMessageA(flags, nullptr, messageId, languageId, buffer, nSize, nullptr));
}

}  // namespace kivo::platform
