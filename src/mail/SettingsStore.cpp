// The registry readers and writers of the settings store and the audio menu
// command. Every operation opens its key, does its work and closes it again.
#include "mail/SettingsStore.h"

#include <cstdio>
#include <vector>

namespace kivo {

using platform::BYTE;
using platform::DWORD;
using platform::ERROR_SUCCESS;
using platform::HKEY;
using platform::HKEY_USERS;
using platform::LONG;
using platform::REG_DWORD;
using platform::REG_NONE;
using platform::REG_SZ;

int AudioOffFlag = 0;

namespace {

bool ContainsOne(const std::string& text) {
  return text.find('1') != std::string::npos;
}

// "%x" of a registry status, as the message boxes print it.
std::string WithStatus(const char* format, LONG status) {
  char line[160];
  std::snprintf(line, sizeof line, format, static_cast<unsigned>(status));
  return line;
}

// Reads a 4-byte value of an HKEY_USERS key into number; false when the key
// or the value cannot be read (number untouched then).
bool ReadNumber(platform::Registry& registry, const char* keyPath, const char* valueName, DWORD& number) {
  HKEY key = 0;
  if (registry.RegOpenKeyA(HKEY_USERS, keyPath, &key) != ERROR_SUCCESS) return false;
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = REG_NONE;
  LONG status =
      registry.RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  registry.RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  number = value;
  return true;
}

}  // namespace

LONG ReadSetting(platform::Registry& registry, const std::string& keyPath, const std::string& valueName,
                 std::string& text) {
  HKEY key = 0;
  LONG status = registry.RegOpenKeyA(HKEY_USERS, keyPath.c_str(), &key);
  if (status != ERROR_SUCCESS) return status;
  // The type probe's own status is not looked at: a missing value keeps
  // REG_NONE and so counts as a value of another type.
  DWORD type = REG_NONE;
  DWORD size = 0;
  registry.RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
  if (type == REG_DWORD) {
    std::int32_t value = 0;
    DWORD valueSize = sizeof value;
    status = registry.RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &valueSize);
    if (status != ERROR_SUCCESS) {
      registry.RegCloseKey(key);
      return status;
    }
    char number[16];
    std::snprintf(number, sizeof number, "%i", static_cast<int>(value));
    text = number;
  } else if (type == REG_SZ) {
    // One spare zero byte so a string stored without its NUL still ends.
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
    DWORD bufferSize = size;
    status = registry.RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &bufferSize);
    if (status != ERROR_SUCCESS) {
      registry.RegCloseKey(key);
      return status;
    }
    text = buffer.data();
  }
  registry.RegCloseKey(key);
  return ERROR_SUCCESS;
}

LONG WriteSetting(platform::Registry& registry, const std::string& keyPath, const std::string& valueName,
                  const std::string& text) {
  HKEY key = 0;
  LONG status = registry.RegOpenKeyA(HKEY_USERS, keyPath.c_str(), &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD type = REG_NONE;
  DWORD size = 0;
  status = registry.RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) {
    registry.RegCloseKey(key);
    return status;
  }
  if (type == REG_DWORD) {
    DWORD number = ContainsOne(text) ? 1 : 0;
    status = registry.RegSetValueExA(key, valueName.c_str(), 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&number), sizeof number);
  } else if (type == REG_SZ) {
    status = registry.RegSetValueExA(key, valueName.c_str(), 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(text.c_str()),
                                     static_cast<DWORD>(text.size() + 1));
  } else {
    status = ERROR_SUCCESS;
  }
  registry.RegCloseKey(key);
  return status;
}

void LoadEmailSettings(platform::Registry& registry, EmailSettings& settings) {
  ReadSetting(registry, kEmailKeyPath, "FromID", settings.FromID);
  ReadSetting(registry, kEmailKeyPath, "FromName", settings.FromName);
  ReadSetting(registry, kEmailKeyPath, "Host", settings.Host);
  ReadSetting(registry, kEmailKeyPath, "ToID", settings.ToID);
  std::string flag;
  if (ReadSetting(registry, kEmailKeyPath, "SendEmail", flag) == ERROR_SUCCESS) {
    settings.SendEmail = ContainsOne(flag) ? 1 : 0;
  }
}

LONG SaveEmailSettings(platform::Registry& registry, const EmailSettings& settings,
                       platform::MessageBoxes& boxes) {
  char flag[16];
  std::snprintf(flag, sizeof flag, "%i", settings.SendEmail);
  struct Step {
    const char* valueName;
    const std::string& text;
    const char* failure;
  };
  const std::string flagText = flag;
  const Step steps[] = {
      {"SendEmail", flagText, "Error: registry access failed, check your setup. (0x%x)"},
      {"FromID", settings.FromID, "Error: registry access failed for sender, check your setup. (0x%x)"},
      {"ToID", settings.ToID, "Error: registry access failed for recipient, check your setup. (0x%x)"},
      {"Host", settings.Host, "Error: registry access failed for Host, check your setup. (0x%x)"},
      // A standard user whose write is refused must learn that nothing was
      // kept, so the last value is reported like the others.
      {"FromName", settings.FromName,
       "Error: registry access failed for sender's name, check your setup. (0x%x)"},
  };
  for (const Step& step : steps) {
    LONG status = WriteSetting(registry, kEmailKeyPath, step.valueName, step.text);
    if (status != ERROR_SUCCESS) {
      boxes.MessageBoxA(true, WithStatus(step.failure, status), kApplicationTitle, platform::MB_OK);
      return status;
    }
  }
  return ERROR_SUCCESS;
}

void ToggleAudio(CheckMenu& menu, platform::Registry& registry, platform::MessageBoxes& boxes) {
  if (menu.IsItemChecked(kAudioOffCommand)) {
    menu.CheckItem(kAudioOffCommand, false);
    AudioOffFlag = 0;
  } else {
    menu.CheckItem(kAudioOffCommand, true);
    AudioOffFlag = 1;
  }
  WriteAudioOff(registry, boxes, AudioOffFlag);
}

LONG WriteAudioOff(platform::Registry& registry, platform::MessageBoxes& boxes, int audioOff,
                   const std::string& caption) {
  HKEY key = 0;
  // A key the user may not create (a standard user where setup did not grant
  // the settings key) is reported as a refused write is: the setting was not
  // kept, and the user must know.
  LONG status = registry.RegCreateKeyA(HKEY_USERS, kAudioKeyPath, &key);
  if (status == ERROR_SUCCESS) {
    DWORD value = audioOff != 0 ? 1 : 0;
    status = registry.RegSetValueExA(key, "AudioOff", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                     sizeof value);
    registry.RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) {
    boxes.MessageBoxA(true, WithStatus("Error: registry access failed, check your setup. (0x%x)", status),
                      caption, platform::MB_OK);
  }
  return status;
}

int ReadAudioOff(platform::Registry& registry) {
  DWORD value = 0;
  if (!ReadNumber(registry, kAudioKeyPath, "AudioOff", value)) return 0;
  return value == 1 ? 1 : 0;
}

DWORD ReadHttpPort(platform::Registry& registry) {
  DWORD port = kDefaultHttpPort;
  ReadNumber(registry, kHttpKeyPath, "Port", port);
  return port;
}

}  // namespace kivo
