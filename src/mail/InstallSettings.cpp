// SeedInstallSettings: creates what is missing and nothing else.
#include "mail/InstallSettings.h"

#include "mail/SettingsStore.h"

namespace kivo {

using platform::BYTE;
using platform::DWORD;
using platform::ERROR_FILE_NOT_FOUND;
using platform::ERROR_SUCCESS;
using platform::HKEY;
using platform::LONG;

namespace {

struct Seed {
  const char* keyPath;
  const char* valueName;
  DWORD type;
  DWORD number;  // REG_DWORD values; REG_SZ values are seeded empty
};

constexpr Seed kSeeds[] = {
    {kEmailKeyPath, "SendEmail", platform::REG_DWORD, 0},
    {kEmailKeyPath, "Host", platform::REG_SZ, 0},
    {kEmailKeyPath, "ToID", platform::REG_SZ, 0},
    {kEmailKeyPath, "FromID", platform::REG_SZ, 0},
    {kEmailKeyPath, "FromName", platform::REG_SZ, 0},
    {kHttpKeyPath, "Port", platform::REG_DWORD, kDefaultHttpPort},
};

std::string KeyName(const char* keyPath) {
  return std::string("HKEY_USERS\\") + keyPath;
}

// Opens keyPath, creating it when missing (and saying so in result).
LONG OpenOrCreate(platform::Registry& registry, const char* keyPath, HKEY& key, InstallResult& result) {
  if (registry.RegOpenKeyA(platform::HKEY_USERS, keyPath, &key) == ERROR_SUCCESS) return ERROR_SUCCESS;
  LONG status = registry.RegCreateKeyA(platform::HKEY_USERS, keyPath, &key);
  if (status == ERROR_SUCCESS) result.created.push_back(KeyName(keyPath) + ": key");
  return status;
}

LONG SeedValue(platform::Registry& registry, HKEY key, const Seed& seed, InstallResult& result) {
  DWORD type = platform::REG_NONE;
  DWORD size = 0;
  LONG status = registry.RegQueryValueExA(key, seed.valueName, nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS) return ERROR_SUCCESS;  // present: left as it is
  if (status != ERROR_FILE_NOT_FOUND) return status;  // unreadable: not overwritten either
  std::string line = KeyName(seed.keyPath) + ": " + seed.valueName + " = ";
  if (seed.type == platform::REG_DWORD) {
    status = registry.RegSetValueExA(key, seed.valueName, 0, platform::REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&seed.number), sizeof seed.number);
    line += "dword:" + std::to_string(seed.number);
  } else {
    static const char empty[] = "";
    status = registry.RegSetValueExA(key, seed.valueName, 0, platform::REG_SZ,
                                     reinterpret_cast<const BYTE*>(empty), 1);
    line += "\"\"";
  }
  if (status == ERROR_SUCCESS) result.created.push_back(line);
  return status;
}

}  // namespace

InstallResult SeedInstallSettings(platform::Registry& registry) {
  InstallResult result;
  const char* openPath = nullptr;
  HKEY key = 0;
  for (const Seed& seed : kSeeds) {
    if (openPath != seed.keyPath) {
      if (openPath != nullptr) registry.RegCloseKey(key);
      openPath = nullptr;
      result.status = OpenOrCreate(registry, seed.keyPath, key, result);
      if (result.status != ERROR_SUCCESS) return result;
      openPath = seed.keyPath;
    }
    result.status = SeedValue(registry, key, seed, result);
    if (result.status != ERROR_SUCCESS) break;
  }
  if (openPath != nullptr) registry.RegCloseKey(key);
  return result;
}

}  // namespace kivo
