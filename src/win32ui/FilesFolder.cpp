// The folder of the utility's files; see FilesFolder.h.
#include "win32ui/FilesFolder.h"

#include <string>

#include "win32ui/WinApi.h"

#include <shlobj.h>

namespace kivo::win32ui {

namespace {

std::string CurrentFolder() {
  char folder[MAX_PATH] = "";
  const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
  return length > 0 && length < sizeof folder ? std::string(folder) : std::string();
}

}  // namespace

bool FilesFolder::IsWritable(const std::string& folder) {
  // The same test as a real write: a new file made there, gone again when
  // closed. (GetTempFileNameA does not do: some systems answer a name even
  // where the file could not be made.)
  const std::string probe = folder + "\\kivo-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(GetTickCount64()) + ".tmp";
  ::HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == reinterpret_cast<::HANDLE>(static_cast<::LONG_PTR>(-1))) return false;  // INVALID_HANDLE_VALUE
  CloseHandle(file);
  return true;
}

std::string FilesFolder::PerUserFolder() {
  char local[MAX_PATH] = "";
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                              local))) {
    return "";
  }
  std::string folder = local;
  for (const char* part : {"\\Zelka", "\\Kivo"}) {
    folder += part;
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return "";
  }
  return folder;
}

std::string FilesFolder::Enter() {
  const std::string current = CurrentFolder();
  if (current.empty() || IsWritable(current)) return current;
  const std::string perUser = PerUserFolder();
  if (perUser.empty() || !SetCurrentDirectoryA(perUser.c_str())) return current;
  return perUser;
}

}  // namespace kivo::win32ui
