// The registry of the machine through advapi32 (under Wine, the prefix's
// own registry). Opened keys travel through the core as their handle values.
#include <cstdint>
#include <memory>

#include "platform/Registry.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {
namespace {

// The core numbers the predefined keys (HKEY_LOCAL_MACHINE, HKEY_USERS, ...)
// as their 32-bit values; the system's are those values sign-extended.
::HKEY ToSystem(HKEY key) {
  if (key >= 0x80000000u && key <= 0x800000FFu) {
    return reinterpret_cast<::HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(key)));
  }
  return reinterpret_cast<::HKEY>(key);
}

HKEY FromSystem(::HKEY key) {
  return reinterpret_cast<HKEY>(key);
}

class SystemRegistry : public Registry {
 public:
  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override {
    ::HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyA(ToSystem(key), subKey, &opened);
    if (status == 0 && result != nullptr) *result = FromSystem(opened);
    return status;
  }
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) override {
    ::HKEY opened = nullptr;
    const LONG status = ::RegOpenKeyExA(ToSystem(key), subKey, options, desired, &opened);
    if (status == 0 && result != nullptr) *result = FromSystem(opened);
    return status;
  }
  LONG RegCreateKeyA(HKEY key, const char* subKey, HKEY* result) override {
    ::HKEY created = nullptr;
    const LONG status = ::RegCreateKeyA(ToSystem(key), subKey, &created);
    if (status == 0 && result != nullptr) *result = FromSystem(created);
    return status;
  }
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* cbData) override {
    ::DWORD valueType = 0;
    ::DWORD size = cbData != nullptr ? *cbData : 0;
    const LONG status = ::RegQueryValueExA(ToSystem(key), valueName, reinterpret_cast<::DWORD*>(reserved),
                                           &valueType, data, cbData != nullptr ? &size : nullptr);
    if (type != nullptr && (status == 0 || status == ERROR_MORE_DATA)) *type = valueType;
    if (cbData != nullptr && (status == 0 || status == ERROR_MORE_DATA)) *cbData = size;
    return status;
  }
  LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD cbData) override {
    return ::RegSetValueExA(ToSystem(key), valueName, reserved, type, data, cbData);
  }
  LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(ToSystem(key)); }
};

}  // namespace

std::unique_ptr<Registry> MakeSystemRegistry() {
  return std::make_unique<SystemRegistry>();
}

}  // namespace kivo::platform
