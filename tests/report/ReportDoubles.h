// Test doubles for the scan and report tests: message boxes and a launcher
// that record what they were asked, host facts set by the test, an in-memory
// registry, and a scripted controller device answering parameter requests
// from a table. Used by tests/controller and tests/report.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Desktop.h"
#include "platform/DeviceIo.h"
#include "platform/HostFacts.h"
#include "platform/LastError.h"
#include "platform/Registry.h"
#include "support/DesktopDoubles.h"
#include "support/HostDoubles.h"

namespace kivo::test {

// Keys by their full path ("HKLM\\SYSTEM\\..."), values by name.
class MemoryRegistry : public platform::Registry {
 public:
  struct Value {
    platform::DWORD type;
    std::vector<platform::BYTE> data;
  };

  void SetString(platform::HKEY root, const std::string& key, const std::string& name,
                 const std::string& text) {
    std::vector<platform::BYTE> data(text.begin(), text.end());
    data.push_back(0);
    keys_[Path(root, key)][name] = {platform::REG_SZ, data};
  }
  void SetDword(platform::HKEY root, const std::string& key, const std::string& name, platform::DWORD value) {
    std::vector<platform::BYTE> data(4);
    std::memcpy(data.data(), &value, 4);
    keys_[Path(root, key)][name] = {platform::REG_DWORD, data};
  }

  platform::LONG RegOpenKeyA(platform::HKEY key, const char* subKey, platform::HKEY* result) override {
    return Open(key, subKey, result, false);
  }
  platform::LONG RegOpenKeyExA(platform::HKEY key, const char* subKey, platform::DWORD, platform::REGSAM,
                               platform::HKEY* result) override {
    return Open(key, subKey, result, false);
  }
  platform::LONG RegCreateKeyA(platform::HKEY key, const char* subKey, platform::HKEY* result) override {
    return Open(key, subKey, result, true);
  }
  platform::LONG RegQueryValueExA(platform::HKEY key, const char* valueName, platform::DWORD*,
                                  platform::DWORD* type, platform::BYTE* data,
                                  platform::DWORD* cbData) override {
    auto open = handles_.find(key);
    if (open == handles_.end()) return static_cast<platform::LONG>(platform::ERROR_INVALID_HANDLE);
    auto& values = keys_[open->second];
    auto found = values.find(valueName != nullptr ? valueName : "");
    if (found == values.end()) return static_cast<platform::LONG>(platform::ERROR_FILE_NOT_FOUND);
    if (type != nullptr) *type = found->second.type;
    auto size = static_cast<platform::DWORD>(found->second.data.size());
    if (data != nullptr) {
      if (cbData == nullptr || *cbData < size) {
        if (cbData != nullptr) *cbData = size;
        return static_cast<platform::LONG>(platform::ERROR_MORE_DATA);
      }
      std::memcpy(data, found->second.data.data(), size);
    }
    if (cbData != nullptr) *cbData = size;
    return 0;
  }
  platform::LONG RegSetValueExA(platform::HKEY key, const char* valueName, platform::DWORD,
                                platform::DWORD type, const platform::BYTE* data,
                                platform::DWORD cbData) override {
    auto open = handles_.find(key);
    if (open == handles_.end()) return static_cast<platform::LONG>(platform::ERROR_INVALID_HANDLE);
    keys_[open->second][valueName != nullptr ? valueName : ""] = {type, {data, data + cbData}};
    return 0;
  }
  platform::LONG RegCloseKey(platform::HKEY key) override {
    ++closes;
    return handles_.erase(key) == 1 ? 0 : static_cast<platform::LONG>(platform::ERROR_INVALID_HANDLE);
  }
  int OpenHandles() const { return static_cast<int>(handles_.size()); }
  int closes = 0;

 private:
  static std::string Path(platform::HKEY root, const std::string& key) {
    return std::to_string(root) + "\\" + key;
  }
  platform::LONG Open(platform::HKEY key, const char* subKey, platform::HKEY* result, bool create) {
    std::string path = Path(key, subKey != nullptr ? subKey : "");
    if (!create && keys_.find(path) == keys_.end())
      return static_cast<platform::LONG>(platform::ERROR_FILE_NOT_FOUND);
    keys_[path];
    platform::HKEY handle = next_++;
    handles_[handle] = path;
    *result = handle;
    return 0;
  }
  std::map<std::string, std::map<std::string, Value>> keys_;
  std::map<platform::HKEY, std::string> handles_;
  platform::HKEY next_ = 0x1000;
};

// One controller on device "Scsi<id>:" whose parameters come from a table;
// a parameter not in the table is refused with packet status 0x0C. Counts
// the parameter requests it answers.
class ScriptedDevice : public platform::DeviceIo {
 public:
  using Key = std::pair<std::uint16_t, std::uint8_t>;

  void SetBytes(std::uint16_t table, std::uint8_t parameter, std::vector<std::uint8_t> bytes) {
    parameters[{table, parameter}] = std::move(bytes);
  }
  void SetText(std::uint16_t table, std::uint8_t parameter, const std::string& text) {
    SetBytes(table, parameter, std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  void SetNumber(std::uint16_t table, std::uint8_t parameter, std::uint32_t value) {
    SetBytes(table, parameter,
             {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
              static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
  }

  platform::HANDLE CreateFileA(const char*, platform::DWORD, platform::DWORD, void*, platform::DWORD,
                               platform::DWORD, platform::HANDLE) override {
    return 7;
  }
  platform::BOOL DeviceIoControl(platform::HANDLE, platform::DWORD, void* inBuffer,
                                 platform::DWORD inBufferSize, void*, platform::DWORD,
                                 platform::DWORD* bytesReturned, void*) override {
    auto* buffer = static_cast<std::uint8_t*>(inBuffer);
    std::uint8_t* packet = buffer + 28 + 4;
    if ((packet[0] & 0x1F) == 0x1D) {
      packet[50] = 3;  // interface level
      std::memcpy(packet + 8, "scripted driver", 16);
    } else if (inBufferSize >= 1056) {
      std::uint8_t* block = packet + 512;
      auto table = static_cast<std::uint16_t>(block[0] | block[1] << 8);
      std::uint8_t parameter = block[2];
      std::uint8_t size = block[3];
      requests.push_back({table, parameter});
      auto found = parameters.find({table, parameter});
      if (found == parameters.end()) {
        packet[4] = 0x0C;
      } else {
        std::memset(block + 4, 0, size);
        std::memcpy(block + 4, found->second.data(), std::min<std::size_t>(size, found->second.size()));
      }
    }
    if (bytesReturned != nullptr) *bytesReturned = inBufferSize;
    return platform::TRUE;
  }
  platform::BOOL CloseHandle(platform::HANDLE) override { return platform::TRUE; }

  std::map<Key, std::vector<std::uint8_t>> parameters;
  std::vector<Key> requests;
};

// Passes every call to another device, failing chosen ones: the n-th open of
// a device name, or the n-th driver version query (an identify request that
// is not one of Open's) on a device. Counting starts at 1.
class FaultyDeviceIo : public platform::DeviceIo {
 public:
  explicit FaultyDeviceIo(platform::DeviceIo& base) : base_(base) {}

  void FailOpen(const std::string& name, int n, platform::DWORD error) { openFaults_[{name, n}] = error; }
  void FailDriverQuery(const std::string& name, int n, platform::DWORD error) {
    queryFaults_[{name, n}] = error;
  }
  void FailClose(platform::DWORD error) { closeError_ = error; }

  platform::HANDLE CreateFileA(const char* fileName, platform::DWORD desiredAccess, platform::DWORD shareMode,
                               void* securityAttributes, platform::DWORD creationDisposition,
                               platform::DWORD flagsAndAttributes, platform::HANDLE templateFile) override {
    std::string name = fileName;
    int n = ++opens_[name];
    auto fault = openFaults_.find({name, n});
    if (fault != openFaults_.end()) {
      platform::SetLastError(fault->second);
      return platform::INVALID_HANDLE_VALUE;
    }
    platform::HANDLE handle = base_.CreateFileA(fileName, desiredAccess, shareMode, securityAttributes,
                                                creationDisposition, flagsAndAttributes, templateFile);
    if (handle != platform::INVALID_HANDLE_VALUE) names_[handle] = name;
    return handle;
  }
  platform::BOOL DeviceIoControl(platform::HANDLE device, platform::DWORD ioControlCode, void* inBuffer,
                                 platform::DWORD inBufferSize, void* outBuffer, platform::DWORD outBufferSize,
                                 platform::DWORD* bytesReturned, void* overlapped) override {
    auto* bytes = static_cast<std::uint8_t*>(inBuffer);
    if (ioControlCode == platform::IOCTL_SCSI_MINIPORT && inBufferSize >= 544 && (bytes[32] & 0x1F) == 0x1D &&
        bytes[34] == 0) {
      std::string name = names_[device];
      int n = ++queries_[name];
      auto fault = queryFaults_.find({name, n});
      if (fault != queryFaults_.end()) {
        platform::SetLastError(fault->second);
        return platform::FALSE;
      }
    }
    return base_.DeviceIoControl(device, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize,
                                 bytesReturned, overlapped);
  }
  platform::BOOL CloseHandle(platform::HANDLE object) override {
    names_.erase(object);
    platform::BOOL closed = base_.CloseHandle(object);
    if (closeError_ != 0) {
      platform::SetLastError(closeError_);
      return platform::FALSE;
    }
    return closed;
  }

 private:
  platform::DeviceIo& base_;
  std::map<std::pair<std::string, int>, platform::DWORD> openFaults_;
  std::map<std::pair<std::string, int>, platform::DWORD> queryFaults_;
  std::map<std::string, int> opens_;
  std::map<std::string, int> queries_;
  std::map<platform::HANDLE, std::string> names_;
  platform::DWORD closeError_ = 0;
};

}  // namespace kivo::test
