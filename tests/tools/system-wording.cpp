// system-wording: prints the system's wording of every Win32 error code below
// 13000 that has one, "CODE<TAB>TEXT" a line, the text without its CR LF. The
// Windows stage compares reports of the two builds with it: the wording of
// Wine is not Windows'.
#include <cstdio>

#include "platform/SystemMessage.h"

int main() {
  for (kivo::platform::DWORD code = 1; code < 13000; ++code) {
    char text[512];
    kivo::platform::DWORD n = kivo::platform::FormatMessageA(kivo::platform::FORMAT_MESSAGE_FROM_SYSTEM, code,
                                                             0, text, sizeof text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) --n;
    if (n > 0) std::printf("%u\t%.*s\n", static_cast<unsigned>(code), static_cast<int>(n), text);
  }
  return 0;
}
