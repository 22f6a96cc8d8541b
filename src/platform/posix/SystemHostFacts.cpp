// SystemHostFacts: uname, gethostname and /etc/os-release behind the Win32
// host calls, with the KIVO_OS_VERSION override.
#include "platform/posix/SystemHostFacts.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/LastError.h"

namespace kivo::platform {
namespace {

// A decimal DWORD of 1 to 10 digits that fits.
bool ParseNumber(std::string_view text, DWORD* number) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return false;
  *number = static_cast<DWORD>(value);
  return true;
}

// Leading digits of `text` as a number (0 when none); `text` moves past them.
DWORD TakeDigits(std::string_view& text) {
  std::uint64_t value = 0;
  while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
    if (value < 0xFFFFFFFFu) value = value * 10 + static_cast<std::uint64_t>(text.front() - '0');
    text.remove_prefix(1);
  }
  return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(value);
}

std::string ReadSmallFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str().substr(0, 65536);
}

}  // namespace

std::optional<VersionOverride> SystemHostFacts::ParseVersionOverride(std::string_view text) {
  VersionOverride result;
  if (text == "fail") {
    result.fail = true;
    return result;
  }
  if (text.substr(0, 5) == "fail:") {
    DWORD error = 0;
    if (!ParseNumber(text.substr(5), &error) || error == 0) return std::nullopt;
    result.fail = true;
    result.failError = error;
    return result;
  }
  DWORD numbers[4] = {};
  for (int i = 0; i < 4; ++i) {
    std::size_t dot = text.find('.');
    std::string_view part = text.substr(0, dot);
    if (!ParseNumber(part, &numbers[i])) return std::nullopt;
    if (dot == std::string_view::npos) {
      if (i != 3) return std::nullopt;
      text = {};
    } else {
      text.remove_prefix(dot + 1);
      if (i == 3 && text.empty()) return std::nullopt;  // a trailing dot promises a text
    }
  }
  if (text.size() > sizeof result.record.szCSDVersion - 1) return std::nullopt;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
  }
  result.record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  result.record.dwMajorVersion = numbers[0];
  result.record.dwMinorVersion = numbers[1];
  result.record.dwBuildNumber = numbers[2];
  result.record.dwPlatformId = numbers[3];
  if (!text.empty()) std::memcpy(result.record.szCSDVersion, text.data(), text.size());
  return result;
}

bool SystemHostFacts::ParseKernelRelease(std::string_view release, DWORD* major, DWORD* minor, DWORD* patch) {
  *major = *minor = *patch = 0;
  if (release.empty() || release.front() < '0' || release.front() > '9') return false;
  *major = TakeDigits(release);
  if (!release.empty() && release.front() == '.') {
    release.remove_prefix(1);
    *minor = TakeDigits(release);
    if (!release.empty() && release.front() == '.') {
      release.remove_prefix(1);
      *patch = TakeDigits(release);
    }
  }
  return true;
}

std::string SystemHostFacts::PrettyName(std::string_view osRelease) {
  std::string result;
  while (!osRelease.empty()) {
    std::size_t end = osRelease.find('\n');
    std::string_view line = osRelease.substr(0, end);
    osRelease.remove_prefix(end == std::string_view::npos ? osRelease.size() : end + 1);
    if (line.substr(0, 12) != "PRETTY_NAME=") continue;
    std::string_view value = line.substr(12);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t')) {
      value.remove_suffix(1);
    }
    // The file follows shell quoting: "..." with backslash escapes, '...'
    // taken literally, or a bare word.
    result.clear();
    if (!value.empty() && value.front() == '"') {
      for (std::size_t i = 1; i < value.size() && value[i] != '"'; ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        result.push_back(value[i]);
      }
    } else if (!value.empty() && value.front() == '\'') {
      std::size_t close = value.find('\'', 1);
      result =
          std::string(value.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    } else {
      result = std::string(value);
    }
  }
  return result;
}

std::string SystemHostFacts::ShortComputerName(std::string_view hostName) {
  std::string_view name = hostName.substr(0, hostName.find('.'));
  return std::string(name.substr(0, 15));
}

BOOL SystemHostFacts::CopyComputerName(const std::string& name, char* buffer, DWORD* size) {
  if (size == nullptr || (buffer == nullptr && *size > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (*size < needed) {
    *size = needed;
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  std::memcpy(buffer, name.c_str(), needed);
  *size = needed - 1;
  return TRUE;
}

std::string SystemHostFacts::Describe(const std::string& prettyName, const std::string& systemName,
                                      const std::string& release, const std::string& machine) {
  std::string text;
  for (const std::string* part : {&prettyName, &systemName, &release, &machine}) {
    if (part->empty()) continue;
    if (!text.empty()) text.push_back(' ');
    text += *part;
  }
  return text;
}

SystemHostFacts::SystemHostFacts(const char* osVersion) {
  if (osVersion == nullptr || *osVersion == '\0') return;
  override_ = ParseVersionOverride(osVersion);
  if (!override_) {
    std::fprintf(
        stderr,
        "kivo: ignoring KIVO_OS_VERSION=\"%s\": expected major.minor.build.platformId[.service pack] "
        "or fail[:code]\n",
        osVersion);
  }
}

BOOL SystemHostFacts::GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (override_) {
    if (override_->fail) {
      SetLastError(override_->failError);
      return FALSE;
    }
    *info = override_->record;
    return TRUE;
  }
  struct utsname names {};
  if (::uname(&names) != 0) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  OSVERSIONINFOA record{};
  record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  ParseKernelRelease(names.release, &record.dwMajorVersion, &record.dwMinorVersion, &record.dwBuildNumber);
  record.dwPlatformId = VER_PLATFORM_LINUX;
  *info = record;
  return TRUE;
}

BOOL SystemHostFacts::GetComputerNameA(char* buffer, DWORD* size) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  return CopyComputerName(ShortComputerName(host), buffer, size);
}

std::string SystemHostFacts::NativeDescription() {
  std::string pretty = PrettyName(ReadSmallFile("/etc/os-release"));
  if (pretty.empty()) pretty = PrettyName(ReadSmallFile("/usr/lib/os-release"));
  struct utsname names {};
  if (::uname(&names) != 0) return pretty;
  return Describe(pretty, names.sysname, names.release, names.machine);
}

std::unique_ptr<HostFacts> MakeSystemHostFacts() {
  return std::make_unique<SystemHostFacts>(std::getenv("KIVO_OS_VERSION"));
}

}  // namespace kivo::platform
