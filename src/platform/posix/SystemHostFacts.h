// SystemHostFacts: the version record, computer name and description of the
// Linux host this process runs on. Made through MakeSystemHostFacts
// (platform/HostFacts.h); the parsing helpers are public for their tests.
//
// KIVO_OS_VERSION replaces the version record:
//   "major.minor.build.platformId"                e.g. "5.0.2195.2"
//   "major.minor.build.platformId.service pack"   e.g. "4.0.1381.2.Service Pack 6"
//   "fail" or "fail:N"   GetVersionExA fails with last error 87 (or N), so the
//                        plain fallback host text can be seen end to end
// Numbers are decimal; the service-pack text runs to the end (dots allowed,
// at most 127 characters). A value that does not parse is reported on
// standard error once and ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/HostFacts.h"

namespace kivo::platform {

constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;

// What KIVO_OS_VERSION asks for.
struct VersionOverride {
  bool fail = false;
  DWORD failError = ERROR_INVALID_PARAMETER;
  OSVERSIONINFOA record{};
};

class SystemHostFacts : public HostFacts {
 public:
  // `osVersion` is the KIVO_OS_VERSION text, null when unset.
  explicit SystemHostFacts(const char* osVersion);

  BOOL GetVersionExA(OSVERSIONINFOA* info) override;
  BOOL GetComputerNameA(char* buffer, DWORD* size) override;
  std::string NativeDescription() override;

  // "major.minor.build.platformId[.service pack]" or "fail[:N]".
  static std::optional<VersionOverride> ParseVersionOverride(std::string_view text);
  // The leading "major.minor[.patch]" of a kernel release such as
  // "6.1.0-18-amd64"; missing parts are 0. False when it starts with no digit.
  static bool ParseKernelRelease(std::string_view release, DWORD* major, DWORD* minor, DWORD* patch);
  // PRETTY_NAME of an os-release text (quotes and backslash escapes removed);
  // "" when absent.
  static std::string PrettyName(std::string_view osRelease);
  // The host name up to its first dot, cut to 15 characters.
  static std::string ShortComputerName(std::string_view hostName);
  // GetComputerNameA's buffer rules for `name`.
  static BOOL CopyComputerName(const std::string& name, char* buffer, DWORD* size);
  // PRETTY_NAME, then system name, release and machine, blank-separated;
  // parts that are empty are left out.
  static std::string Describe(const std::string& prettyName, const std::string& systemName,
                              const std::string& release, const std::string& machine);

 private:
  std::optional<VersionOverride> override_;
};

}  // namespace kivo::platform
