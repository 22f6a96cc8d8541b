// kivo-command: sends one command number to the running utility, as another
// program would send a command message to its main window (e.g. 32778 opens
// the e-mail setup, 32771 ends the utility).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "app/CommandChannel.h"
#include "app/InstanceCheck.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: kivo-command [--runtime-dir DIR] COMMAND\n"
               "  COMMAND  a command number 0..65535, e.g. 32778 (e-mail setup), 32780 (copy\n"
               "           the report to the clipboard), 32771 (exit)\n"
               "  DIR      the utility's runtime directory (default $XDG_RUNTIME_DIR)\n");
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
  if (directory.empty()) directory = kivo::UserRuntimeDirectory();
  const std::string path = kivo::CommandSocketPath(directory);
  const int error = kivo::SendCommand(path, *command);
  if (error == ECONNREFUSED || error == ENOENT) {
    std::fprintf(stderr, "kivo-command: the utility is not running (no %s)\n", path.c_str());
    return 1;
  }
  if (error != 0) {
    std::fprintf(stderr, "kivo-command: cannot send to %s: %s\n", path.c_str(), std::strerror(error));
    return 1;
  }
  return 0;
}
