// The lookup of the help files and the page of a help context.
#include "shell/HelpLocation.h"

#include <cstdlib>
#include <filesystem>

namespace kivo {

namespace {

bool HoldsHelp(const std::string& directory) {
  std::error_code error;
  return !directory.empty() &&
         std::filesystem::is_regular_file(std::filesystem::path(directory) / "index.html", error);
}

std::string SourceTreeHelp() {
  const char* source = std::getenv("KIVO_SOURCE_DIR");
  return source != nullptr && source[0] != '\0' ? std::string(source) + "/help" : "";
}

}  // namespace

std::string MissingHelpText(const std::string& directory, const std::string& page) {
  if (directory.empty()) {
    return "The help files of the Kivo Disk Management Utility cannot be found. They are looked for in "
           "$KIVO_HELP_DIR, in share/kivo/help beside the program's directory and in help/ beside the "
           "program.";
  }
  return "The help page \"" + page + "\" cannot be found in " + directory + ".";
}

std::string HelpTopicPage(unsigned helpContext) {
  switch (helpContext) {
    case kMainWindowHelpContext:
      return "main-window.html";
    default:
      return "index.html";
  }
}

std::string HelpCommandPage(bool fromHelpButton) {
  return fromHelpButton ? HelpTopicPage(kMainWindowHelpContext) : "index.html";
}

std::string FindHelpDirectory(const std::string& programDirectory, const std::string& sourceHelpDirectory) {
  const char* fromEnvironment = std::getenv("KIVO_HELP_DIR");
  std::string candidates[] = {
      fromEnvironment != nullptr ? fromEnvironment : "",
      programDirectory.empty() ? "" : programDirectory + "/../share/kivo/help",
      programDirectory.empty() ? "" : programDirectory + "/help",
      sourceHelpDirectory,
      SourceTreeHelp(),
  };
  for (const std::string& candidate : candidates) {
    if (HoldsHelp(candidate)) {
      std::error_code error;
      const auto canonical = std::filesystem::weakly_canonical(candidate, error);
      return error ? candidate : canonical.string();
    }
  }
  return "";
}

}  // namespace kivo
