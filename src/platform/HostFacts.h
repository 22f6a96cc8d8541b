// Host facts: the platform's version record (GetVersionExA) and computer name
// (GetComputerNameA). The system implementation describes this Linux host, or
// the Windows record given in KIVO_OS_VERSION.
#pragma once

#include <memory>
#include <string>

#include "platform/Win32Types.h"

namespace kivo::platform {

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
// The platform id a Linux host reports: not one of the Windows ids.
constexpr DWORD VER_PLATFORM_LINUX = 0x4C58;

// True for the platform ids whose controllers are reached one device per SCSI
// port (the NT family, and Linux); the others use the virtual device.
inline bool UsesPortDevices(DWORD platformId) {
  return platformId == VER_PLATFORM_WIN32_NT || platformId == VER_PLATFORM_LINUX;
}
inline bool IsWindowsPlatform(DWORD platformId) {
  return platformId <= VER_PLATFORM_WIN32_NT;
}

class HostFacts {
 public:
  virtual ~HostFacts() = default;
  // Fills the record (its size field must be 148); FALSE with the last error
  // set when the version cannot be read.
  virtual BOOL GetVersionExA(OSVERSIONINFOA* info) = 0;
  // Copies the computer name with its NUL into buffer; *size is the buffer's
  // size in, the name's length out. FALSE with ERROR_BUFFER_OVERFLOW (111)
  // and *size set to the size needed when the buffer is too small.
  virtual BOOL GetComputerNameA(char* buffer, DWORD* size) = 0;
  // The readable description of a non-Windows host, e.g.
  // "Debian GNU/Linux 12 (bookworm) Linux 6.1.0-18-amd64 x86_64".
  virtual std::string NativeDescription() = 0;
};

// The host this process runs on; KIVO_OS_VERSION="major.minor.build.platformId
// [.service pack text]" replaces the version record (a value that does not
// parse is reported on standard error and ignored). KIVO_OS_VERSION="fail"
// (or "fail:N") makes GetVersionExA fail with last error 87 (or N); see
// SystemHostFacts.h.
std::unique_ptr<HostFacts> MakeSystemHostFacts();

}  // namespace kivo::platform
