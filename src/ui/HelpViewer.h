// HelpViewer: the program's own HTML help, shown in a help window of the
// program at a topic (help context 0x20066 is the main window). Where the
// help lives: $KIVO_HELP_DIR, else <program dir>/../share/kivo/help (the
// installed layout), else <program dir>/help, else the source tree's help/
// (given by the program, or $KIVO_SOURCE_DIR/help).
// Shell code only; the lookup functions are plain and tested without a display.
#pragma once

#include <QPointer>
#include <QTextBrowser>
#include <string>

namespace kivo {

inline constexpr unsigned kMainWindowHelpContext = 0x20066;  // 0x20000 + template 102
inline constexpr const char* kHelpFailedText = "Failed to launch help.";

// The page of a help context; unknown contexts open the contents page.
std::string HelpTopicPage(unsigned helpContext);

// The first candidate directory that holds index.html, or "" when none does.
// sourceHelpDirectory is the source tree's help/ (compiled in).
std::string FindHelpDirectory(const std::string& programDirectory, const std::string& sourceHelpDirectory);

// What the help window says when the help folder ("" when none was found)
// or the topic's page is missing.
std::string MissingHelpText(const std::string& directory, const std::string& page);

class HelpViewer {
 public:
  explicit HelpViewer(std::string sourceHelpDirectory = "");
  ~HelpViewer();
  HelpViewer(const HelpViewer&) = delete;
  HelpViewer& operator=(const HelpViewer&) = delete;

  // Opens (or brings forward) the help window at the topic; a missing help
  // folder or page is reported in the window. False only when no window
  // could be shown.
  bool ShowTopic(unsigned helpContext);
  // Closes the help window if this program opened it.
  void Quit();
  QTextBrowser* Window() const { return browser_.data(); }
  // Where the help was found ("" before the first ShowTopic or when missing).
  const std::string& Directory() const { return directory_; }

 private:
  std::string sourceHelpDirectory_;
  QPointer<QTextBrowser> browser_;
  std::string directory_;
};

}  // namespace kivo
