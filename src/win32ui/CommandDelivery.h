// CommandDelivery: how kivo-command.exe hands a command number to the utility
// on Windows. It finds the main window by its title, as the uninstaller
// does, and posts it the command message; where no utility runs it starts
// kivo.exe (into the notification area) and waits, bounded by time, until
// the window is there and the utility has finished starting.
#pragma once

#include <optional>
#include <string>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

// A command number as text: decimal 0..65535; anything else is refused.
std::optional<int> ParseCommandNumber(const std::string& text);

class CommandDelivery {
 public:
  // `utilityPath`: the kivo.exe started when none runs; `startLimitMs`: how
  // long its start may take until its window is there.
  CommandDelivery(std::string utilityPath, ::DWORD startLimitMs)
      : utilityPath_(std::move(utilityPath)), startLimitMs_(startLimitMs) {}

  // 0 when the command was posted to the main window; otherwise 1 with a
  // sentence for the user in *error.
  int Deliver(int command, std::string* error);

  // Whether Deliver had to start the utility.
  bool StartedUtility() const { return started_; }

 private:
  // Starts the utility; its process handle, or null with *error set.
  ::HANDLE StartUtility(std::string* error);
  // The main window once the started utility shows it, or null at the limit.
  HWND WaitForWindow(::HANDLE process, std::string* error);

  std::string utilityPath_;
  ::DWORD startLimitMs_;
  bool started_ = false;
};

}  // namespace kivo::win32ui
