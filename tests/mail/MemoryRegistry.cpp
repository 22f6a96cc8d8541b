// MemoryRegistry: the Win32 value semantics the settings store relies on.
#include "mail/MemoryRegistry.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kivo::test {

using namespace platform;

std::string MemoryRegistry::Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string MemoryRegistry::Join(HKEY root, const char* subKey) {
  std::string base = root == HKEY_USERS ? "hku" : root == HKEY_LOCAL_MACHINE ? "hklm" : "";
  if (subKey != nullptr && *subKey != '\0') base += "\\" + Lower(subKey);
  return base;
}

std::string MemoryRegistry::PathOf(HKEY key) const {
  if (key == HKEY_USERS || key == HKEY_LOCAL_MACHINE) return Join(key, nullptr);
  auto it = handles_.find(key);
  return it == handles_.end() ? std::string() : it->second;
}

LONG MemoryRegistry::RegOpenKeyA(HKEY key, const char* subKey, HKEY* result) {
  std::string base = PathOf(key);
  if (base.empty()) return ERROR_INVALID_HANDLE;
  std::string path = subKey && *subKey ? base + "\\" + Lower(subKey) : base;
  if (keys_.count(path) == 0 && path != "hku" && path != "hklm") return ERROR_FILE_NOT_FOUND;
  *result = nextHandle_++;
  handles_[*result] = path;
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM, HKEY* result) {
  return RegOpenKeyA(key, subKey, result);
}

LONG MemoryRegistry::RegCreateKeyA(HKEY key, const char* subKey, HKEY* result) {
  std::string base = PathOf(key);
  if (base.empty()) return ERROR_INVALID_HANDLE;
  std::string path = subKey && *subKey ? base + "\\" + Lower(subKey) : base;
  keys_[path];
  *result = nextHandle_++;
  handles_[*result] = path;
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data,
                                      DWORD* cbData) {
  auto keyIt = keys_.find(PathOf(key));
  if (keyIt == keys_.end()) return ERROR_INVALID_HANDLE;
  auto it = keyIt->second.find(Lower(valueName ? valueName : ""));
  if (it == keyIt->second.end()) return ERROR_FILE_NOT_FOUND;
  const Value& value = it->second;
  if (type != nullptr) *type = value.type;
  DWORD size = static_cast<DWORD>(value.bytes.size());
  if (data == nullptr) {
    if (cbData != nullptr) *cbData = size;
    return ERROR_SUCCESS;
  }
  if (cbData == nullptr) return ERROR_INVALID_PARAMETER;
  if (*cbData < size) {
    *cbData = size;
    return ERROR_MORE_DATA;
  }
  if (size > 0) std::memcpy(data, value.bytes.data(), size);
  *cbData = size;
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data,
                                    DWORD cbData) {
  auto keyIt = keys_.find(PathOf(key));
  if (keyIt == keys_.end()) return ERROR_INVALID_HANDLE;
  Value& value = keyIt->second[Lower(valueName ? valueName : "")];
  value.type = type;
  value.bytes.assign(data, data + cbData);
  ++writes_;
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegCloseKey(HKEY key) {
  if (key == HKEY_USERS || key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void MemoryRegistry::AddKey(const std::string& path) {
  keys_[Join(HKEY_USERS, path.c_str())];
}

void MemoryRegistry::SetRaw(const std::string& path, const std::string& name, DWORD type,
                            std::vector<BYTE> bytes) {
  Value& value = keys_[Join(HKEY_USERS, path.c_str())][Lower(name)];
  value.type = type;
  value.bytes = std::move(bytes);
}

void MemoryRegistry::SetDword(const std::string& path, const std::string& name, DWORD number) {
  std::vector<BYTE> bytes(4);
  std::memcpy(bytes.data(), &number, 4);
  SetRaw(path, name, REG_DWORD, std::move(bytes));
}

void MemoryRegistry::SetString(const std::string& path, const std::string& name, const std::string& text) {
  std::vector<BYTE> bytes(text.begin(), text.end());
  bytes.push_back(0);
  SetRaw(path, name, REG_SZ, std::move(bytes));
}

bool MemoryRegistry::HasKey(const std::string& path) const {
  return keys_.count(Join(HKEY_USERS, path.c_str())) != 0;
}

const MemoryRegistry::Value* MemoryRegistry::Find(const std::string& path, const std::string& name) const {
  auto keyIt = keys_.find(Join(HKEY_USERS, path.c_str()));
  if (keyIt == keys_.end()) return nullptr;
  auto it = keyIt->second.find(Lower(name));
  return it == keyIt->second.end() ? nullptr : &it->second;
}

DWORD MemoryRegistry::Dword(const std::string& path, const std::string& name) const {
  const Value* value = Find(path, name);
  if (value == nullptr || value->type != REG_DWORD || value->bytes.size() != 4) return 0;
  DWORD number = 0;
  std::memcpy(&number, value->bytes.data(), 4);
  return number;
}

std::string MemoryRegistry::String(const std::string& path, const std::string& name) const {
  const Value* value = Find(path, name);
  if (value == nullptr || value->type != REG_SZ) return "";
  std::string text(value->bytes.begin(), value->bytes.end());
  return text.substr(0, text.find('\0'));
}

}  // namespace kivo::test
