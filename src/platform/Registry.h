// The registry seam: Win32-shaped key and value operations returning Win32
// status codes (ERROR_SUCCESS = 0). FileRegistry keeps each hive in a ".reg"
// export-format file; tests wrap a registry in ForwardingRegistry to make one
// call fail.
#pragma once

#include <memory>
#include <string>

#include "platform/Win32Types.h"

namespace kivo::platform {

class Registry {
 public:
  virtual ~Registry() = default;
  virtual LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) = 0;
  virtual LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) = 0;
  virtual LONG RegCreateKeyA(HKEY key, const char* subKey, HKEY* result) = 0;
  // As the Win32 call: data may be null to learn type and size; a buffer too
  // small gives ERROR_MORE_DATA with *cbData set to the size needed; a missing
  // value gives ERROR_FILE_NOT_FOUND.
  virtual LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                DWORD* cbData) = 0;
  virtual LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD cbData) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
};

// Passes every call to another registry; a test double overrides only the
// call it breaks.
class ForwardingRegistry : public Registry {
 public:
  explicit ForwardingRegistry(Registry& base) : base_(base) {}
  LONG RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) override {
    return base_.RegOpenKeyA(key, subKey, result);
  }
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) override {
    return base_.RegOpenKeyExA(key, subKey, options, desired, result);
  }
  LONG RegCreateKeyA(HKEY key, const char* subKey, HKEY* result) override {
    return base_.RegCreateKeyA(key, subKey, result);
  }
  LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* cbData) override {
    return base_.RegQueryValueExA(key, valueName, reserved, type, data, cbData);
  }
  LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                      DWORD cbData) override {
    return base_.RegSetValueExA(key, valueName, reserved, type, data, cbData);
  }
  LONG RegCloseKey(HKEY key) override { return base_.RegCloseKey(key); }

 protected:
  Registry& base_;
};

// The machine's registry: advapi32 on Windows; on Linux the file-backed
// registry in DefaultRegistryDirectory().
std::unique_ptr<Registry> MakeSystemRegistry();

// Linux only. $KIVO_REGISTRY_DIR, else $XDG_CONFIG_HOME/kivo, else $HOME/.config/kivo.
std::string DefaultRegistryDirectory();

// Linux only. The file-backed registry: HKEY_USERS.reg and HKEY_LOCAL_MACHINE.reg in
// `directory` (created on the first write).
std::unique_ptr<Registry> MakeFileRegistry(const std::string& directory);

}  // namespace kivo::platform
