// The delivery of a command number to the running utility; see
// CommandDelivery.h.
#include "win32ui/CommandDelivery.h"

#include <charconv>

namespace kivo::win32ui {

namespace {

std::string SystemText(::DWORD code) {
  char text[256] = "";
  ::DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ' ||
                        text[length - 1] == '.')) {
    --length;
  }
  return length > 0 ? std::string(text, length) : "error " + std::to_string(code);
}

}  // namespace

std::optional<int> ParseCommandNumber(const std::string& text) {
  int number = -1;
  const char* end = text.data() + text.size();
  const auto [next, error] = std::from_chars(text.data(), end, number);
  if (text.empty() || error != std::errc() || next != end || number < 0 || number > 65535)
    return std::nullopt;
  return number;
}

int CommandDelivery::Deliver(int command, std::string* error) {
  HWND window = FindWindowA(nullptr, kMainWindowTitle);
  if (window == nullptr) {
    ::HANDLE process = StartUtility(error);
    if (process == nullptr) return 1;
    window = WaitForWindow(process, error);
    CloseHandle(process);
    if (window == nullptr) return 1;
  }
  // The utility may bring the dialog of the command to the front: the user
  // just asked for it.
  ::DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  AllowSetForegroundWindow(process);
  // Posted, not sent: the command may open a dialog that runs for as long
  // as the user likes.
  if (!PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(command), 0)) {
    *error = "The Kivo Disk Management Utility ended before it took the command (" +
             SystemText(GetLastError()) + ").";
    return 1;
  }
  return 0;
}

::HANDLE CommandDelivery::StartUtility(std::string* error) {
  // Without switches: the utility starts in the notification area, as at
  // logon, and stays there after the command.
  std::string commandLine = "\"" + utilityPath_ + "\"";
  const std::string folder = utilityPath_.substr(0, utilityPath_.find_last_of("\\/"));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(utilityPath_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    *error = "The Kivo Disk Management Utility is not running and could not be started: " + utilityPath_ +
             ": " + SystemText(GetLastError()) + ".";
    return nullptr;
  }
  started_ = true;
  CloseHandle(process.hThread);
  return process.hProcess;
}

HWND CommandDelivery::WaitForWindow(::HANDLE process, std::string* error) {
  const ::ULONGLONG deadline = GetTickCount64() + startLimitMs_;
  // Idle once the utility waits for input: its window is made and its first
  // scan done. A start that ends at the instance check (another start won
  // the race) leaves the other's window to be found.
  WaitForInputIdle(process, startLimitMs_);
  bool ended = false;
  for (;;) {
    if (HWND window = FindWindowA(nullptr, kMainWindowTitle)) return window;
    const ::ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    // Another process's window cannot be waited on: look again every 50 ms,
    // or at once when the started utility ends.
    const ::DWORD wait = static_cast<::DWORD>(deadline - now < 50 ? deadline - now : 50);
    if (ended) {
      Sleep(wait);
    } else {
      ended = WaitForSingleObject(process, wait) == WAIT_OBJECT_0;
    }
  }
  ::DWORD exitCode = STILL_ACTIVE;
  GetExitCodeProcess(process, &exitCode);
  *error = exitCode == STILL_ACTIVE
               ? "The Kivo Disk Management Utility was started but showed no window within " +
                     std::to_string(startLimitMs_ / 1000) + " seconds."
               : "The Kivo Disk Management Utility was started but ended (exit code " +
                     std::to_string(exitCode) + ") without a window.";
  return nullptr;
}

}  // namespace kivo::win32ui
