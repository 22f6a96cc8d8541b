// The calling thread's last Win32 error, as GetLastError/SetLastError keep it.
// Written by the platform calls that report failure through it.
#pragma once

#include "platform/Win32Types.h"

namespace kivo::platform {

DWORD GetLastError();
void SetLastError(DWORD error);

}  // namespace kivo::platform
