// kivo-command.exe: sends one command number to the Kivo Disk Management
// Utility running in this session, as another program would send a command
// message to its main window; where none runs it starts the utility first.
// The Start menu's "Kivo E-mail Setup" runs it with 32778. A program without
// a console: what goes wrong is told in a message box (on the standard error
// of a console that started it, where there is one).
#include <cstdio>
#include <string>

#include "win32ui/CommandDelivery.h"

namespace {

constexpr char kUsage[] =
    "usage: kivo-command.exe COMMAND\n"
    "Sends the command number COMMAND (0..65535) to the Kivo Disk Management Utility\n"
    "running in this session, as if it came from its menus, e.g. 32778 (E-mail Setup),\n"
    "32780 (Copy to Clipboard), 32771 (Exit). When none runs, the utility is started\n"
    "first, in the notification area. Exit status: 0 delivered, 1 the utility could\n"
    "not be reached or started, 2 wrong usage.\n";

// How long a started utility may take to show its window: its first scan
// asks every controller.
constexpr DWORD kStartLimitMs = 60000;

void Tell(const std::string& text, bool error) {
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    if (FILE* stream = std::freopen("CONOUT$", "w", error ? stderr : stdout)) {
      std::fputs(text.c_str(), stream);
      std::fflush(stream);
      return;
    }
  }
  MessageBoxA(nullptr, text.c_str(), kivo::kMainWindowTitle,
              MB_OK | MB_SETFOREGROUND | (error ? MB_ICONEXCLAMATION : MB_ICONINFORMATION));
}

std::string UtilityPath() {
  char path[MAX_PATH] = "";
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string self(path, length < MAX_PATH ? length : 0);
  return self.substr(0, self.find_last_of("\\/") + 1) + "kivo.exe";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string argument = argc == 2 ? argv[1] : "";
  if (argument == "/?" || argument == "--help" || argument == "-h") {
    Tell(kUsage, false);
    return 0;
  }
  const std::optional<int> command = kivo::win32ui::ParseCommandNumber(argument);
  if (!command) {
    Tell(argc == 2 ? "kivo-command.exe: not a command number: " + argument + "\n" + kUsage : kUsage, true);
    return 2;
  }
  kivo::win32ui::CommandDelivery delivery(UtilityPath(), kStartLimitMs);
  std::string error;
  if (delivery.Deliver(*command, &error) != 0) {
    Tell(error + "\n", true);
    return 1;
  }
  return 0;
}
