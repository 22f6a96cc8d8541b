// HostInfo: the Windows wording of each platform family, the product type
// from "ProductOptions", and the native description on Linux.
#include "controller/HostInfo.h"

#include <array>
#include <cstring>

#include "platform/LastError.h"

namespace kivo {

namespace {

// ASCII comparison without regard to case, as the system compares the
// product type.
bool EqualsIgnoringCase(const char* text, const char* expected) {
  for (; *text != '\0' && *expected != '\0'; ++text, ++expected) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(*text) != lower(*expected)) return false;
  }
  return *text == *expected;
}

using platform::DWORD;

constexpr const char* kProductOptionsKey = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

// Numbers are written as "%d" writes them: a build number above 2^31 - 1
// shows as negative, as the system always printed it.
std::int32_t Signed(DWORD value) {
  return static_cast<std::int32_t>(value);
}

}  // namespace

HostInfo::HostInfo(platform::HostFacts& host, platform::Registry& registry)
    : host_(host), registry_(registry) {}

void HostInfo::ReadProductType(DWORD major, DWORD minor) {
  productType_.Clear();
  platform::HKEY key = 0;
  if (registry_.RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, kProductOptionsKey, 0, platform::KEY_READ,
                              &key) != 0) {
    productType_.AppendPair("(unknown version", ", a)");
    return;
  }
  // One byte more than the 256 asked for keeps the text terminated even when
  // the value fills the whole buffer without a NUL.
  std::array<char, 257> value{};
  DWORD size = 256;
  DWORD type = 0;
  if (registry_.RegQueryValueExA(key, "ProductType", nullptr, &type,
                                 reinterpret_cast<platform::BYTE*>(value.data()), &size) != 0) {
    productType_.AppendPair("(unknown version", ", b)");
  } else if (type != platform::REG_SZ) {
    productType_.AppendPair("(unknown version", ", c)");
  } else if (minor == 0) {
    if (EqualsIgnoringCase(value.data(), "WINNT")) {
      productType_.Append(major == 5 ? "Professional" : "Workstation");
    } else if (EqualsIgnoringCase(value.data(), "SERVERNT")) {
      productType_.Append("Server");
    } else if (EqualsIgnoringCase(value.data(), "LANMANNT")) {
      productType_.Append("Advanced Server");
    } else {
      productType_.Append("(unknown ");
      productType_.AppendPair(value.data(), ", d)");
    }
  }
  registry_.RegCloseKey(key);
}

DWORD HostInfo::Build() {
  productType_.Clear();
  description_.Clear();
  numbers_.Clear();
  version_ = platform::OSVERSIONINFOA{};
  version_.dwOSVersionInfoSize = sizeof(platform::OSVERSIONINFOA);
  if (!host_.GetVersionExA(&version_)) {
    DWORD error = platform::GetLastError();
    // A failure must never read as success, even when the host set no code.
    return error != 0 ? error : platform::ERROR_GEN_FAILURE;
  }
  const DWORD major = version_.dwMajorVersion;
  const DWORD minor = version_.dwMinorVersion;
  const DWORD build = version_.dwBuildNumber;

  numbers_.Append("major ");
  numbers_.AppendNumber(Signed(major));
  numbers_.Append(" minor ");
  numbers_.AppendNumber(Signed(minor));
  numbers_.Append(" build ");
  numbers_.AppendNumber(Signed(build));
  numbers_.Append(" platform ");
  numbers_.AppendNumber(Signed(version_.dwPlatformId));

  switch (version_.dwPlatformId) {
    case platform::VER_PLATFORM_WIN32s:
      description_.Append("Microsoft Windows 3.1 (Win32s)");
      break;
    case platform::VER_PLATFORM_WIN32_WINDOWS:
      if (minor == 0) {
        description_.Append("Microsoft Windows 95 ");
      } else if (minor == 10) {
        description_.Append("Microsoft Windows 98 ");
      } else if (minor == 90) {
        description_.Append("Microsoft Windows ME ");
      } else {
        description_.Append("Microsoft Windows ");
      }
      description_.AppendNumber(Signed(major));
      description_.Append(".");
      description_.AppendNumber(Signed(minor));
      description_.Append(".");
      description_.AppendNumber(static_cast<std::int32_t>(build & 0xFFFF));
      break;
    case platform::VER_PLATFORM_WIN32_NT:
      ReadProductType(major, minor);
      if (major == 5) {
        if (minor == 0) {
          description_.Append("Microsoft Windows 2000 ");
        } else if (minor == 1) {
          description_.Append("Microsoft Windows XP ");
        } else if (minor == 2) {
          description_.Append("Microsoft Windows Server 2003 family ");
        } else {
          description_.Append("Microsoft Windows maj ");
          description_.AppendNumber(Signed(major));
          description_.Append(" min ");
        }
      } else {
        description_.Append("Microsoft Windows NT ");
      }
      description_.AppendBuffer(productType_);
      description_.Append(" ");
      if (major == 5) {
        description_.Append("(");
        description_.AppendNumber(Signed(major));
        description_.Append(".");
        description_.AppendNumber(Signed(minor));
        description_.Append(" Build ");
        description_.AppendNumber(Signed(build));
        description_.Append(")");
      } else {
        description_.AppendNumber(Signed(major));
        description_.Append(".");
        description_.AppendNumber(Signed(minor));
        description_.Append(" (Build ");
        description_.AppendNumber(Signed(build));
        description_.Append(")");
      }
      break;
    case platform::VER_PLATFORM_LINUX:
      description_.Append(host_.NativeDescription().c_str());
      break;
    default:
      description_.Append("Microsoft Windows ");
      description_.AppendBuffer(numbers_);
      description_.AppendNumber(Signed(major));
      description_.Append(".");
      description_.AppendNumber(Signed(minor));
      description_.Append(".");
      break;
  }

  // The service-pack field need not be terminated within its 128 bytes.
  std::size_t servicePack = strnlen(version_.szCSDVersion, sizeof version_.szCSDVersion);
  if (servicePack > 0) {
    description_.Append(" ");
    description_.AppendBytes(version_.szCSDVersion, static_cast<std::int32_t>(servicePack));
  }
  return 0;
}

}  // namespace kivo
