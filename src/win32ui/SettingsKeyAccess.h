// SettingsKeyAccess: the one widening of access the setup program makes. The
// settings live under HKEY_USERS\.DEFAULT, the local system account's hive,
// which the members of Users may read but not change; the setup program
// (elevated) lets them set values and create subkeys in the utility's own key
// and nothing wider. Used by kivo-setup-helper.exe and its tests.
#pragma once

#include <string>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

class SettingsKeyAccess {
 public:
  // What the members of Users get: "Audio Off" and the e-mail values
  // (set values), the "Audio" key made on first use (create subkeys).
  static constexpr ::DWORD kUsersAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

  // Makes `root`\`path` where it is missing and grants BUILTIN\Users
  // (S-1-5-32-545) kUsersAccess on it, inherited by its subkeys (existing
  // ones too); the other entries of its access list stay as they are, and a
  // second grant changes nothing. 0, or the Win32 error of the step named in
  // *step.
  static ::DWORD GrantUsers(::HKEY root, const std::string& path, std::string* step);

  // The access an entry of the key's own list (not one it inherits) allows
  // BUILTIN\Users on the key and on its subkeys alike; 0 when the key cannot
  // be read. For the tests.
  static ::DWORD UsersGranted(::HKEY root, const std::string& path);
};

}  // namespace kivo::win32ui
