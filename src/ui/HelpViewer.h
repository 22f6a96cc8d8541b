// HelpViewer: the program's own HTML help, shown in a help window of the
// program at a topic (help context 0x20066 is the main window); the pages
// are found as HelpLocation says. Shell code only.
#pragma once

#include <QPointer>
#include <QTextBrowser>
#include <string>

#include "shell/HelpLocation.h"

namespace kivo {

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
