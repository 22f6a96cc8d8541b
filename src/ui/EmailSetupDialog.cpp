// The "Email Setup" dialog and the form that runs it.
#include "ui/EmailSetupDialog.h"

#include <QLabel>
#include <QPointer>
#include <algorithm>

#include "ui/DialogUnits.h"

namespace kivo {

namespace {

constexpr int kEditColumn = 100;  // x of the edits, in dialog units

QLineEdit* MakeEdit(QWidget* parent, const DialogUnits& du, int x, int y, int w, int h, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(du.Rect(x, y, w, h));
  return edit;
}

void MakeLabel(QWidget* parent, const DialogUnits& du, const char* text, int x, int y, int w, int h) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setGeometry(du.Rect(x, y, w, h));
  // Where the dialog font sets a label wider than its rectangle, it may grow
  // up to the edits' column rather than lose its end.
  const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 2;
  const int room = du.X(kEditColumn) - du.X(x) - 2;
  if (needed > label->width()) label->resize(std::min(needed, room), label->height());
}

}  // namespace

EmailSetupDialog::EmailSetupDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Email Setup"));
  setFont(DialogFont());
  const DialogUnits du = DialogUnits::ForFont(font());
  setFixedSize(du.Size(228, 159));
  // Kept above other windows like the alert window, so that opened while
  // it shows (the main window being hidden) it comes out on top of it.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);

  MakeLabel(this, du, "SMTP server:", 7, 15, 44, 8);
  server_ = MakeEdit(this, du, 100, 13, 121, 14, "1013");
  MakeLabel(this, du, "Recipient's Email address:", 7, 35, 83, 8);
  recipients_ = MakeEdit(this, du, 100, 33, 121, 14, "1014");
  MakeLabel(this, du, "Sender's Email address:", 7, 55, 76, 8);
  sender_ = MakeEdit(this, du, 100, 53, 121, 14, "1015");
  MakeLabel(this, du, "Sender's name:", 7, 75, 50, 8);
  name_ = MakeEdit(this, du, 100, 73, 121, 14, "1024");
  enable_ = new QCheckBox(QStringLiteral("Enable email notification."), this);
  enable_->setObjectName("1038");
  enable_->setGeometry(du.Rect(18, 102, 130, 10));
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName("1");
  ok_->setGeometry(du.Rect(61, 138, 50, 14));
  ok_->setDefault(true);
  ok_->setAutoDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName("2");
  cancel_->setGeometry(du.Rect(117, 138, 50, 14));
  cancel_->setAutoDefault(false);

  setTabOrder(server_, recipients_);
  setTabOrder(recipients_, sender_);
  setTabOrder(sender_, name_);
  setTabOrder(name_, enable_);
  setTabOrder(enable_, ok_);
  setTabOrder(ok_, cancel_);
  server_->setFocus();

  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void EmailSetupDialog::Load(const EmailSetupFields& fields) {
  server_->setText(QString::fromLatin1(fields.server.c_str()));
  recipients_->setText(QString::fromLatin1(fields.recipients.c_str()));
  sender_->setText(QString::fromLatin1(fields.senderAddress.c_str()));
  name_->setText(QString::fromLatin1(fields.senderName.c_str()));
  enable_->setChecked(fields.enable != 0);
}

void EmailSetupDialog::Store(EmailSetupFields& fields) const {
  // Single-byte texts: characters beyond Latin-1 become '?'.
  fields.server = server_->text().toLatin1().toStdString();
  fields.recipients = recipients_->text().toLatin1().toStdString();
  fields.senderAddress = sender_->text().toLatin1().toStdString();
  fields.senderName = name_->text().toLatin1().toStdString();
  fields.enable = enable_->isChecked() ? 1 : 0;
}

int EmailSetupDialogForm::Run(EmailSetupFields& fields) {
  // Over a hidden main window (the usual case) the dialog stands on its own,
  // placed on the screen rather than beside the window's off-screen spot.
  QWidget* parent = (owner_ != nullptr && owner_->isVisible()) ? owner_ : nullptr;
  QPointer<EmailSetupDialog> dialog = new EmailSetupDialog(parent);
  dialog->Load(fields);
  dialog->setWindowModality(Qt::WindowModal);  // the alert window stays usable
  const int result = dialog->exec();
  if (dialog == nullptr) return 2;  // destroyed while open (program ending)
  if (result == QDialog::Accepted) dialog->Store(fields);
  delete dialog;
  return result == QDialog::Accepted ? 1 : 2;
}

}  // namespace kivo
