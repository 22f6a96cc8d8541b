// ProcessLauncher on Windows: the snapshot opens in the Windows folder's
// Notepad (WinExec), an address in the user's browser (ShellExecuteA).
// $KIVO_EDITOR replaces Notepad for tests and demonstrations.
#include "platform/ProcessLauncher.h"

#include <cstdlib>
#include <string>

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

#include <shellapi.h>

namespace kivo::platform {

namespace {

// One command-line argument, quoted as the C runtime splits them.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

}  // namespace

int StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::string commandLine;
  for (const std::string& argument : argv) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += Quoted(argument);
  }
  ::STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  ::PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    return -1;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(process.dwProcessId);
}

void ProcessLauncher::OpenTextFile(const std::string& file) {
  // The editor gets the file's full path, wherever the editor's own current
  // folder may be.
  char full[MAX_PATH] = "";
  const DWORD fullLength = ::GetFullPathNameA(file.c_str(), sizeof full, full, nullptr);
  const std::string path = fullLength > 0 && fullLength < sizeof full ? std::string(full) : file;
  const char* editor = std::getenv("KIVO_EDITOR");
  if (editor != nullptr && editor[0] != '\0') {
    StartDetached({editor, path});
    return;
  }
  // By its full path: a bare "notepad" is looked for in the program's and the
  // current folder first, where anyone who can write there plants one.
  char windows[MAX_PATH] = "";
  const UINT length = ::GetWindowsDirectoryA(windows, sizeof windows);
  if (length == 0 || length >= sizeof windows) return;
  const std::string command = Quoted(std::string(windows) + "\\notepad.exe") + " " + Quoted(path);
  // Show mode 5: in its current size and place.
  ::WinExec(command.c_str(), SW_SHOW);
}

void ProcessLauncher::OpenUrl(const std::string& url) {
  ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kivo::platform
