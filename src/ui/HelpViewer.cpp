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
  if (directory_.empty()) return false;
  const std::filesystem::path page = std::filesystem::path(directory_) / HelpTopicPage(helpContext);
  std::error_code error;
  if (!std::filesystem::is_regular_file(page, error)) return false;
  if (browser_ == nullptr) {
    // A window of its own: it stays usable while the main window is hidden.
    browser_ = new QTextBrowser;
    browser_->setAttribute(Qt::WA_DeleteOnClose);
    browser_->setWindowTitle(QStringLiteral("Kivo Disk Management Utility Help"));
    browser_->setOpenExternalLinks(true);
    browser_->resize(720, 560);
  }
  browser_->setSearchPaths({QString::fromStdString(directory_)});
  browser_->setSource(QUrl::fromLocalFile(QString::fromStdString(page.string())));
  browser_->show();
  browser_->raise();
  browser_->activateWindow();
  return true;
}

void HelpViewer::Quit() {
  if (browser_ != nullptr) {
    browser_->close();
    delete browser_.data();
  }
}

}  // namespace kivo
