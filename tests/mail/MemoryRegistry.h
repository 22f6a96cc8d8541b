// An in-memory registry for the mail tests: keys by case-insensitive path,
// values with their type and bytes, Win32 statuses. Counts every write so a
// test can tell that nothing was overwritten.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace kivo::test {

class MemoryRegistry : public platform::Registry {
 public:
  struct Value {
    platform::DWORD type = platform::REG_NONE;
    std::vector<platform::BYTE> bytes;
  };

  platform::LONG RegOpenKeyA(platform::HKEY key, const char* subKey, platform::HKEY* result) override;
  platform::LONG RegOpenKeyExA(platform::HKEY key, const char* subKey, platform::DWORD options,
                               platform::REGSAM desired, platform::HKEY* result) override;
  platform::LONG RegCreateKeyA(platform::HKEY key, const char* subKey, platform::HKEY* result) override;
  platform::LONG RegQueryValueExA(platform::HKEY key, const char* valueName, platform::DWORD* reserved,
                                  platform::DWORD* type, platform::BYTE* data,
                                  platform::DWORD* cbData) override;
  platform::LONG RegSetValueExA(platform::HKEY key, const char* valueName, platform::DWORD reserved,
                                platform::DWORD type, const platform::BYTE* data,
                                platform::DWORD cbData) override;
  platform::LONG RegCloseKey(platform::HKEY key) override;

  // Test set-up and inspection; paths are relative to HKEY_USERS.
  void AddKey(const std::string& path);
  void SetDword(const std::string& path, const std::string& name, platform::DWORD value);
  void SetString(const std::string& path, const std::string& name, const std::string& text);
  void SetRaw(const std::string& path, const std::string& name, platform::DWORD type,
              std::vector<platform::BYTE> bytes);
  bool HasKey(const std::string& path) const;
  const Value* Find(const std::string& path, const std::string& name) const;
  // The value as a number or a string ("" / 0 when missing or of another type).
  platform::DWORD Dword(const std::string& path, const std::string& name) const;
  std::string String(const std::string& path, const std::string& name) const;

  int Writes() const { return writes_; }
  int OpenHandles() const { return static_cast<int>(handles_.size()); }

 private:
  using ValueMap = std::map<std::string, Value>;  // lower-case name -> value
  static std::string Lower(std::string text);
  static std::string Join(platform::HKEY root, const char* subKey);
  std::string PathOf(platform::HKEY key) const;

  std::map<std::string, ValueMap> keys_;  // lower-case "HKU\path" -> values
  std::map<platform::HKEY, std::string> handles_;
  platform::HKEY nextHandle_ = 0x1000;
  int writes_ = 0;
};

}  // namespace kivo::test
