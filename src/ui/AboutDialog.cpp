// The About box.
#include "ui/AboutDialog.h"

#include <QPixmap>
#include <QPointer>

#include "report/ProgramVersion.h"
#include "shell/StartupSequence.h"
#include "ui/DesktopServices.h"
#include "ui/DialogUnits.h"

namespace kivo {

namespace {

QPointer<AboutDialog>& CurrentBox() {
  static QPointer<AboutDialog> box;
  return box;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  LoadUiResources();
  setWindowTitle(QString::fromLatin1(kMainWindowTitle));
  setFont(DialogFont());
  const DialogUnits du = DialogUnits::ForFont(font());
  setFixedSize(du.Size(217, 66));
  // Kept above other windows like the alert window, so that opened while
  // it shows (the main window being hidden) it comes out on top of it.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);

  icon_ = new QLabel(this);
  icon_->setGeometry(du.Rect(7, 7, 20, 20));
  QPixmap pixmap(QStringLiteral(":/kivo/134.png"));
  if (!pixmap.isNull()) {
    icon_->setPixmap(pixmap.scaled(icon_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
  }
  // The product name is shown as written, without mnemonic processing.
  name_ = new QLabel(this);
  name_->setTextFormat(Qt::PlainText);
  name_->setText(QString::fromLatin1(kMainWindowTitle));
  name_->setGeometry(du.Rect(40, 10, 119, 8));
  version_ = new QLabel(this);
  version_->setTextFormat(Qt::PlainText);
  version_->setText(QStringLiteral("version ") + QString::fromLatin1(ProgramVersionText()));
  version_->setGeometry(du.Rect(40, 20, 64, 8));
  notice_ = new QLabel(this);
  notice_->setTextFormat(Qt::PlainText);
  notice_->setText(QString::fromLatin1(kLegalNotice));
  notice_->setGeometry(du.Rect(22, 51, 173, 8));
  // The notice is one line; where the dialog font sets it wider than its
  // rectangle, the rectangle (and if need be the box) grows to show it whole,
  // centred.
  const int needed = notice_->fontMetrics().horizontalAdvance(notice_->text()) + 2;
  if (needed > notice_->width()) {
    const int margin = du.X(7);
    if (needed + 2 * margin > width()) setFixedSize(needed + 2 * margin, height());
    notice_->setGeometry((width() - needed) / 2, notice_->y(), needed, notice_->height());
  }
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(du.Rect(178, 7, 32, 14));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

void ShowAboutBox(QWidget* mainWindow) {
  QPointer<AboutDialog>& current = CurrentBox();
  if (current != nullptr) {
    current->raise();
    current->activateWindow();
    return;
  }
  // A hidden owner would take its box with it on some desktops; the box of a
  // hidden main window stands alone.
  QWidget* owner = (mainWindow != nullptr && mainWindow->isVisible()) ? mainWindow : nullptr;
  QPointer<AboutDialog> box = new AboutDialog(owner);
  current = box;
  box->setWindowModality(Qt::WindowModal);  // the alert window stays usable
  box->exec();
  delete box.data();
  current = nullptr;
}

AboutDialog* OpenAboutBox() {
  return CurrentBox().data();
}

}  // namespace kivo
