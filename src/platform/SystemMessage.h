// The wording of Win32 system messages (FormatMessageA with
// FORMAT_MESSAGE_FROM_SYSTEM): the Windows sentence with its CR LF for every
// code the program can meet.
#pragma once

#include "platform/Win32Types.h"

namespace kivo::platform {

constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

// Writes the message of `messageId` into buffer (at most nSize characters with
// the NUL) and returns the number of characters written, not counting the NUL;
// 0 for an unknown code or a buffer too small (nothing usable is written).
DWORD FormatMessageA(DWORD flags, DWORD messageId, DWORD languageId, char* buffer, DWORD nSize);

}  // namespace kivo::platform
