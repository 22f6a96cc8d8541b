// The help window.
#include "ui/HelpViewer.h"

#include <QCoreApplication>
#include <QUrl>
#include <filesystem>

namespace kivo {

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
