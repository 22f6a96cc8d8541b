// A test double of the host facts shared by every test folder: the version
// record, computer name and native description are what the test sets, and
// each call can be made to fail.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/HostFacts.h"
#include "platform/LastError.h"

namespace kivo::test {

// Host facts as the test sets them; by default a Linux host named "testhost",
// or a host of the given platform family.
class FakeHostFacts : public platform::HostFacts {
 public:
  explicit FakeHostFacts(platform::DWORD platformId = platform::VER_PLATFORM_LINUX) {
    SetVersion(6, 1, 0, platformId);
  }
  void SetVersion(platform::DWORD major, platform::DWORD minor, platform::DWORD build,
                  platform::DWORD platformId, const char* servicePack = "") {
    version = platform::OSVERSIONINFOA{};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = major;
    version.dwMinorVersion = minor;
    version.dwBuildNumber = build;
    version.dwPlatformId = platformId;
    std::snprintf(version.szCSDVersion, sizeof version.szCSDVersion, "%s", servicePack);
  }
  platform::BOOL GetVersionExA(platform::OSVERSIONINFOA* info) override {
    if (versionFails || info->dwOSVersionInfoSize != sizeof *info) {
      platform::SetLastError(platform::ERROR_INVALID_PARAMETER);
      return platform::FALSE;
    }
    *info = version;
    return platform::TRUE;
  }
  platform::BOOL GetComputerNameA(char* buffer, platform::DWORD* size) override {
    if (nameFails) {
      platform::SetLastError(platform::ERROR_GEN_FAILURE);
      return platform::FALSE;
    }
    auto needed = static_cast<platform::DWORD>(name.size() + 1);
    if (*size < needed) {
      *size = needed;
      platform::SetLastError(111);
      return platform::FALSE;
    }
    std::memcpy(buffer, name.c_str(), needed);
    *size = needed - 1;
    return platform::TRUE;
  }
  std::string NativeDescription() override { return description; }

  platform::OSVERSIONINFOA version{};
  bool versionFails = false;
  bool nameFails = false;
  std::string name = "testhost";
  std::string description = "Test GNU/Linux 1 Linux 6.1.0-test x86_64";
};

}  // namespace kivo::test
