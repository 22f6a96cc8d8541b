// HelpLocation: where the program's HTML help lives and which page a help
// context opens. Plain code shared by both desktop shells (the Qt help window
// and the Win32 shell, which opens the page in the browser); tested without a
// display.
#pragma once

#include <string>

namespace kivo {

inline constexpr unsigned kMainWindowHelpContext = 0x20066;  // 0x20000 + template 102
inline constexpr const char* kHelpFailedText = "Failed to launch help.";

// The page of a help context; unknown contexts open the contents page.
std::string HelpTopicPage(unsigned helpContext);

// The page the help command opens where its two sources can be told apart
// (Windows): the main window's "Help" button asks for the window's topic,
// Help > "Help Topics..." and a command sent from outside for the contents.
std::string HelpCommandPage(bool fromHelpButton);

// The first candidate directory that holds index.html, or "" when none does:
// $KIVO_HELP_DIR, <program dir>/../share/kivo/help (the installed Linux
// layout), <program dir>/help (the installed Windows layout), the source
// tree's help/ given by the program, $KIVO_SOURCE_DIR/help.
std::string FindHelpDirectory(const std::string& programDirectory, const std::string& sourceHelpDirectory);

// What the help window says when the help folder ("" when none was found)
// or the topic's page is missing.
std::string MissingHelpText(const std::string& directory, const std::string& page);

}  // namespace kivo
