// kivo-command: sends one command number to the running utility of its own
// session (its Wayland display, or its X display), as another program would
// send a command message to its main window (e.g. 32778 opens the e-mail
// setup, 32771 ends the utility). An activation token it was started with
// goes along, so a window the command shows may take the focus.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandChannel.h"
#include "app/InstanceCheck.h"
#include "platform/EndpointTrust.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: kivo-command [--runtime-dir DIR] COMMAND\n"
               "  COMMAND  a command number 0..65535, e.g. 32778 (e-mail setup), 32780 (copy\n"
               "           the report to the clipboard), 32771 (exit)\n"
               "  DIR      the utility's runtime directory (default $XDG_RUNTIME_DIR)\n"
               "The utility of the Wayland display named by $WAYLAND_DISPLAY is reached,\n"
               "else the one of the X display named by $DISPLAY, else the one that runs\n"
               "without a display. $XDG_ACTIVATION_TOKEN, when set, goes along with the\n"
               "command.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string directory;
  std::string commandText;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--runtime-dir" && i + 1 < argc) {
      directory = argv[++i];
    } else if (argument == "-h" || argument == "--help") {
      Usage();
      return 0;
    } else if (commandText.empty() && !argument.empty() && argument[0] != '-') {
      commandText = argument;
    } else {
      return Usage();
    }
  }
  const std::optional<int> command = kivo::ParseCommandText(commandText);
  if (!command) return Usage();
  if (directory.empty()) directory = kivo::platform::UserRuntimeDirectory();
  if (const std::string reason = kivo::platform::UntrustedDirectoryReason(directory); !reason.empty()) {
    std::fprintf(stderr, "kivo-command: refusing the runtime directory: %s\n", reason.c_str());
    return 1;
  }
  // The instance of this session first; then one that could not search its
  // display and listens for the user.
  std::string path;
  const int error = kivo::SendToRunningInstance(directory, kivo::SessionNames::FromEnvironment(), *command,
                                                kivo::TakeActivationToken(), &path);
  if (error == 0) return 0;
  if (error != ECONNREFUSED && error != ENOENT) {
    std::fprintf(stderr, "kivo-command: cannot send to %s: %s\n", path.c_str(), std::strerror(error));
    return 1;
  }
  std::fprintf(stderr, "kivo-command: the utility is not running (no %s)\n", path.c_str());
  return 1;
}
