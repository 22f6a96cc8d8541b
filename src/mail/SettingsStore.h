// The settings store: the registry values of the "Audio", "Email" and "HTTP"
// keys under HKEY_USERS ".DEFAULT\Software\Zelka\kivo", the e-mail settings
// of the main window and the process-wide audio switch. User-interface thread.
#pragma once

#include <string>

#include "platform/Desktop.h"
#include "platform/Registry.h"
#include "platform/Win32Types.h"

namespace kivo {

// Key paths relative to HKEY_USERS.
inline constexpr char kSettingsKeyPath[] = ".DEFAULT\\Software\\Zelka\\kivo";
inline constexpr char kAudioKeyPath[] = ".DEFAULT\\Software\\Zelka\\kivo\\Audio";
inline constexpr char kEmailKeyPath[] = ".DEFAULT\\Software\\Zelka\\kivo\\Email";
inline constexpr char kHttpKeyPath[] = ".DEFAULT\\Software\\Zelka\\kivo\\HTTP";

// The caption of the main window's message boxes (its typo is the product's).
inline constexpr char kApplicationTitle[] = "Kivo Disk Managenemt Utility";

// "&Audio Off", second item of the main window's "&View" menu.
inline constexpr platform::UINT kAudioOffCommand = 32785;
// The web interface's port when none is stored.
inline constexpr platform::DWORD kDefaultHttpPort = 1080;

// 1 = the alarm does not beep. Set at start-up, changed by ToggleAudio and by
// the alert window's check box, read by the alert window. UI thread only.
extern int AudioOffFlag;

// The five e-mail values the main window holds; SendEmail is 0 or 1.
struct EmailSettings {
  std::string Host, ToID, FromID, FromName;
  int SendEmail = 0;
};

// Reads a REG_DWORD (as "%i") or REG_SZ value of an HKEY_USERS key into text.
// Returns the registry status; a missing value or one of another type is a
// success that leaves text unchanged, as does every failure.
platform::LONG ReadSetting(platform::Registry& registry, const std::string& keyPath,
                           const std::string& valueName, std::string& text);

// Stores text into an existing value of an existing key in the value's own
// type: a REG_DWORD becomes 1 when text contains a "1" anywhere, else 0; a
// REG_SZ takes the text. Nothing is ever created, and a value of another type
// is left alone (status 0).
platform::LONG WriteSetting(platform::Registry& registry, const std::string& keyPath,
                            const std::string& valueName, const std::string& text);

// Reads "FromID", "FromName", "Host", "ToID" and "SendEmail" into settings;
// failed reads leave the field as it was and are not reported.
void LoadEmailSettings(platform::Registry& registry, EmailSettings& settings);

// Writes "SendEmail", "FromID", "ToID", "Host", "FromName" in that order and
// stops at the first failure, which is shown in a plain box owned by the main
// window. Returns the first failing status.
platform::LONG SaveEmailSettings(platform::Registry& registry, const EmailSettings& settings,
                                 platform::MessageBoxes& boxes);

// The check mark of a menu command, as the main window's menu keeps it.
class CheckMenu {
 public:
  virtual ~CheckMenu() = default;
  virtual bool IsItemChecked(platform::UINT commandId) = 0;
  virtual void CheckItem(platform::UINT commandId, bool checked) = 0;
};

// "&Audio Off": flips the check mark of kAudioOffCommand, sets AudioOffFlag to
// the new mark and stores it with WriteAudioOff.
void ToggleAudio(CheckMenu& menu, platform::Registry& registry, platform::MessageBoxes& boxes);

// Stores "AudioOff" (REG_DWORD 0 or 1), creating the "Audio" key when needed.
// A failed key creation or write shows "Error: registry access failed, check
// your setup. (0x%x)" in a plain box with the given caption.
// Does not touch AudioOffFlag: the caller sets it first. Returns the status.
platform::LONG WriteAudioOff(platform::Registry& registry, platform::MessageBoxes& boxes, int audioOff,
                             const std::string& caption = kApplicationTitle);

// The stored "AudioOff" at start-up: 1 only when the value is exactly 1;
// 0 when it is anything else, missing or unreadable.
int ReadAudioOff(platform::Registry& registry);

// The stored "HTTP" "Port", or 1080 when the key or value cannot be read.
platform::DWORD ReadHttpPort(platform::Registry& registry);

}  // namespace kivo
