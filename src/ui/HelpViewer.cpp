// The help window and the lookup of the help files.
#include "ui/HelpViewer.h"

#include <QCoreApplication>
#include <QUrl>
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

HelpViewer::HelpViewer(std::string sourceHelpDirectory)
    : sourceHelpDirectory_(std::move(sourceHelpDirectory)) {}

HelpViewer::~HelpViewer() {
  Quit();
}

bool HelpViewer::ShowTopic(unsigned helpContext) {
  directory_ = FindHelpDirectory(QCoreApplication::applicationDirPath().toStdString(), sourceHelpDirectory_);
  const std::string pageName = HelpTopicPage(helpContext);
  const std::filesystem::path page = std::filesystem::path(directory_) / pageName;
  std::error_code error;
  const bool found = !directory_.empty() && std::filesystem::is_regular_file(page, error);
  if (browser_ == nullptr) {
    // A window of its own: it stays usable while the main window is hidden.
    browser_ = new QTextBrowser;
    browser_->setAttribute(Qt::WA_DeleteOnClose);
    browser_->setWindowTitle(QStringLiteral("Kivo Disk Management Utility Help"));
    browser_->setOpenExternalLinks(true);
    browser_->resize(720, 560);
  }
  if (found) {
    browser_->setSearchPaths({QString::fromStdString(directory_)});
    browser_->setSource(QUrl::fromLocalFile(QString::fromStdString(page.string())));
  } else {
    // As a help viewer does, the window itself says what is missing.
    browser_->setSource(QUrl());
    browser_->setPlainText(QString::fromStdString(MissingHelpText(directory_, pageName)));
  }
  browser_->show();
  browser_->raise();
  browser_->activateWindow();
  return browser_->isVisible();
}

void HelpViewer::Quit() {
  if (browser_ != nullptr) {
    browser_->close();
    delete browser_.data();
  }
}

}  // namespace kivo
