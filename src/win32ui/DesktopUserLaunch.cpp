// The start with the desktop shell's token; see DesktopUserLaunch.h.
#include "win32ui/DesktopUserLaunch.h"

#include <vector>

namespace kivo::win32ui {

namespace {

struct Handle {
  ::HANDLE handle = nullptr;
  ~Handle() {
    if (handle != nullptr) CloseHandle(handle);
  }
};

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  return wide.data();
}

}  // namespace

::DWORD DesktopUserLaunch::Start(const std::string& program, const std::string& folder, std::string* step) {
  *step = "finding the desktop's shell";
  HWND shell = GetShellWindow();
  if (shell == nullptr) return ERROR_NOT_FOUND;
  ::DWORD shellProcess = 0;
  GetWindowThreadProcessId(shell, &shellProcess);
  *step = "opening the desktop's shell";
  Handle process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcess)};
  if (process.handle == nullptr) return GetLastError();
  *step = "taking the shell's token";
  Handle shellToken;
  if (!OpenProcessToken(process.handle, TOKEN_DUPLICATE, &shellToken.handle)) return GetLastError();
  Handle token;
  if (!DuplicateTokenEx(shellToken.handle,
                        TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                            TOKEN_ADJUST_SESSIONID,
                        nullptr, SecurityImpersonation, TokenPrimary, &token.handle)) {
    return GetLastError();
  }
  const std::wstring application = Wide(program);
  std::wstring commandLine = L"\"" + application + L"\"";
  const std::wstring directory = Wide(folder);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  *step = "starting the program as the desktop's user";
  if (!CreateProcessWithTokenW(token.handle, 0, application.c_str(), commandLine.data(), 0, nullptr,
                               directory.empty() ? nullptr : directory.c_str(), &startup, &started)) {
    return GetLastError();
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return ERROR_SUCCESS;
}

}  // namespace kivo::win32ui
