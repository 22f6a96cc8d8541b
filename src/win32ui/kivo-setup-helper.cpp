// kivo-setup-helper.exe: what the setup program asks of Windows that its
// script cannot ask safely. Run by setup (elevated) from its temporary
// folder, never installed; each verb prints one sentence for setup to show
// and ends with 0 (done) or 1 (not done).
//
//   kivo-setup-helper grant-settings         the members of Users may change the settings
//   kivo-setup-helper start-as-user PROGRAM  PROGRAM started as the desktop's user
#include <cstdio>
#include <string>

#include "win32ui/DesktopUserLaunch.h"
#include "win32ui/SettingsKeyAccess.h"

namespace {

std::string SystemText(DWORD code) {
  char text[256] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ' ||
                        text[length - 1] == '.')) {
    --length;
  }
  return length > 0 ? std::string(text, length) : "error " + std::to_string(code);
}

int Say(int status, const std::string& sentence) {
  std::fputs((sentence + "\n").c_str(), stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using kivo::win32ui::DesktopUserLaunch;
  using kivo::win32ui::SettingsKeyAccess;
  const std::string verb = argc > 1 ? argv[1] : "";
  std::string step;
  if (verb == "grant-settings" && argc == 2) {
    const DWORD status = SettingsKeyAccess::GrantUsers(HKEY_USERS, kivo::kSettingsKeyPath, &step);
    if (status != ERROR_SUCCESS) {
      return Say(1,
                 "The members of Users could not be allowed to change the settings in "
                 "HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo (" +
                     step + ": " + SystemText(status) + "). Only administrators can change them.");
    }
    return Say(
        0, "The members of Users may change the settings in HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo.");
  }
  if (verb == "start-as-user" && argc == 3) {
    const std::string program = argv[2];
    const std::string folder = program.substr(0, program.find_last_of("\\/"));
    const DWORD status = DesktopUserLaunch::Start(program, folder, &step);
    if (status == ERROR_NOT_FOUND) {
      return Say(1,
                 "Kivo was not started now: no desktop shell runs in this session to start it as the "
                 "logged-on user. It starts at the next logon, or from the Start menu.");
    }
    if (status != ERROR_SUCCESS) {
      return Say(1, "Kivo was not started now (" + step + ": " + SystemText(status) +
                        "). It starts at the next logon, or from the Start menu.");
    }
    return Say(0, "Kivo was started as the logged-on user.");
  }
  return Say(2, "usage: kivo-setup-helper grant-settings | start-as-user PROGRAM");
}
