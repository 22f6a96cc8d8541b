// The version record and computer name of the Windows host: GetVersionExA and
// GetComputerNameA, as they stand.
#include <cstring>
#include <memory>
#include <string>

#include "platform/HostFacts.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {
namespace {

class SystemHostFacts : public HostFacts {
 public:
  BOOL GetVersionExA(OSVERSIONINFOA* info) override {
    // The record has the system's layout; its size field is passed through
    // so the system judges it.
    static_assert(sizeof(OSVERSIONINFOA) == sizeof(::OSVERSIONINFOA));
    ::OSVERSIONINFOA record{};
    record.dwOSVersionInfoSize = info != nullptr ? info->dwOSVersionInfoSize : 0;
    if (info == nullptr || !::GetVersionExA(&record)) {
      if (info == nullptr) ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    info->dwMajorVersion = record.dwMajorVersion;
    info->dwMinorVersion = record.dwMinorVersion;
    info->dwBuildNumber = record.dwBuildNumber;
    info->dwPlatformId = record.dwPlatformId;
    std::memcpy(info->szCSDVersion, record.szCSDVersion, sizeof(info->szCSDVersion));
    return 1;
  }

  BOOL GetComputerNameA(char* buffer, DWORD* size) override {
    if (size == nullptr) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    ::DWORD length = *size;
    const BOOL done = ::GetComputerNameA(buffer, &length);
    *size = static_cast<DWORD>(length);
    return done ? 1 : 0;
  }

  // Only non-Windows records ask for it; a Windows host never gives one.
  std::string NativeDescription() override { return "Windows"; }
};

}  // namespace

std::unique_ptr<HostFacts> MakeSystemHostFacts() {
  return std::make_unique<SystemHostFacts>();
}

}  // namespace kivo::platform
