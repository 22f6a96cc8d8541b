// The grant on the settings key; see SettingsKeyAccess.h.
#include "win32ui/SettingsKeyAccess.h"

#include <aclapi.h>

namespace kivo::win32ui {

namespace {

// Frees what the security calls hand out with LocalAlloc.
struct LocalMemory {
  ::HLOCAL memory = nullptr;
  ~LocalMemory() {
    if (memory != nullptr) LocalFree(memory);
  }
};

struct OpenKey {
  ::HKEY key = nullptr;
  ~OpenKey() {
    if (key != nullptr) RegCloseKey(key);
  }
};

struct UsersSid {
  ::BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  bool Make() {
    ::DWORD size = sizeof bytes;
    return CreateWellKnownSid(WinBuiltinUsersSid, nullptr, bytes, &size) != FALSE;
  }
  ::PSID Sid() { return bytes; }
};

// What the list's own entries allow `sid` on a key and its subkeys alike:
// allowing entries made for this key (not inherited), handed on to subkeys
// and applying to the key itself.
::DWORD GrantedBy(::PACL list, ::PSID sid) {
  ::DWORD granted = 0;
  for (::DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) continue;
    const auto* header = static_cast<ACE_HEADER*>(entry);
    auto* allow = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE && (header->AceFlags & INHERITED_ACE) == 0 &&
        (header->AceFlags & INHERIT_ONLY_ACE) == 0 && (header->AceFlags & CONTAINER_INHERIT_ACE) != 0 &&
        EqualSid(reinterpret_cast<::PSID>(&allow->SidStart), sid)) {
      granted |= allow->Mask;
    }
  }
  return granted;
}

}  // namespace

::DWORD SettingsKeyAccess::GrantUsers(::HKEY root, const std::string& path, std::string* step) {
  OpenKey opened;
  *step = "opening the key";
  ::DWORD status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0,
                                   READ_CONTROL | WRITE_DAC | KEY_WOW64_64KEY, nullptr, &opened.key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  ::PACL current = nullptr;
  LocalMemory descriptor;
  *step = "reading the key's access list";
  status = GetSecurityInfo(opened.key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &current,
                           nullptr, &descriptor.memory);
  if (status != ERROR_SUCCESS) return status;
  UsersSid users;
  *step = "naming the group Users";
  if (!users.Make()) return GetLastError();
  // A second setup (an upgrade) leaves the list as the first made it: not
  // every system merges a grant into the entry that is there already.
  if ((GrantedBy(current, users.Sid()) & kUsersAccess) == kUsersAccess) return ERROR_SUCCESS;
  EXPLICIT_ACCESS_A grant{};
  grant.grfAccessPermissions = kUsersAccess;
  grant.grfAccessMode = GRANT_ACCESS;
  grant.grfInheritance = CONTAINER_INHERIT_ACE;
  grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  grant.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  grant.Trustee.ptstrName = static_cast<::LPSTR>(users.Sid());
  LocalMemory updated;
  ::PACL list = nullptr;
  *step = "adding the entry for Users";
  status = SetEntriesInAclA(1, &grant, current, &list);
  if (status != ERROR_SUCCESS) return status;
  updated.memory = list;
  // The high-level call, not RegSetKeySecurity: it hands the inheritable
  // entry on to the subkeys that exist already ("Email", "HTTP", "Audio").
  *step = "writing the key's access list";
  return SetSecurityInfo(opened.key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, list,
                         nullptr);
}

::DWORD SettingsKeyAccess::UsersGranted(::HKEY root, const std::string& path) {
  OpenKey opened;
  if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL | KEY_WOW64_64KEY, &opened.key) != ERROR_SUCCESS) {
    return 0;
  }
  ::PACL list = nullptr;
  LocalMemory descriptor;
  if (GetSecurityInfo(opened.key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                      nullptr, &descriptor.memory) != ERROR_SUCCESS) {
    return 0;
  }
  UsersSid users;
  return users.Make() ? GrantedBy(list, users.Sid()) : 0;
}

}  // namespace kivo::win32ui
