// StartupOptions: the three switches of the command line, found by
// case-sensitive substring search in the argument text. Used by start-up and
// its tests; no display needed.
#pragma once

#include <string>

namespace kivo {

struct StartupOptions {
  bool serverShutdown = false;  // "-servershutdown": stop the service and end
  bool quiet = false;           // "-q": audio off for this run
  bool maximise = false;        // "-max": show the main window at start

  // There is no tokenising: "-q" anywhere, even inside a longer word, counts.
  static StartupOptions Parse(const std::string& argumentText);
};

// The argument text after the program's own path: the arguments joined with
// single blanks, as the platform hands the command line's tail to a program.
std::string JoinArguments(int argc, const char* const* argv);

}  // namespace kivo
