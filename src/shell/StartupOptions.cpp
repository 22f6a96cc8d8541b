// Parsing of the command line's switches.
#include "shell/StartupOptions.h"

namespace kivo {

StartupOptions StartupOptions::Parse(const std::string& argumentText) {
  StartupOptions options;
  options.serverShutdown = argumentText.find("-servershutdown") != std::string::npos;
  options.quiet = argumentText.find("-q") != std::string::npos;
  options.maximise = argumentText.find("-max") != std::string::npos;
  return options;
}

std::string JoinArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    if (!text.empty()) text += ' ';
    text += argv[i];
  }
  return text;
}

}  // namespace kivo
