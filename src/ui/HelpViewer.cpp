// The help window.
#include "ui/HelpViewer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QUrl>
#include <algorithm>
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
    // Esc and Ctrl+W close it, as they close a help viewer's window.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
      QObject::connect(new QShortcut(keys, browser_), &QShortcut::activated, browser_.data(),
                       &QWidget::close);
    }
    // Inside the screen's available area (no panel covers it), title bar
    // and border included, which a small screen may make smaller than the
    // window's own size.
    constexpr int kDecoration = 48;
    QRect area(0, 0, 720 + kDecoration, 560 + kDecoration);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
    QRect place(0, 0, std::min(720, area.width() - kDecoration), std::min(560, area.height() - kDecoration));
    place.moveCenter(area.center());
    browser_->setGeometry(place);
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
