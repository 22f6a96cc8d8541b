// EmailSetupDialog: the "Email Setup" dialog (template 142) laid out in dialog
// units: SMTP server, recipients, sender's address and name, and the enable
// check box. It is the EmailSetupForm of the e-mail setup command.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "shell/EmailSetup.h"

namespace kivo {

class EmailSetupDialog : public QDialog {
  Q_OBJECT

 public:
  explicit EmailSetupDialog(QWidget* parent = nullptr);

  // Data exchange: controls from fields, and fields from controls.
  void Load(const EmailSetupFields& fields);
  void Store(EmailSetupFields& fields) const;

  QLineEdit* ServerEdit() const { return server_; }          // 1013
  QLineEdit* RecipientsEdit() const { return recipients_; }  // 1014
  QLineEdit* SenderEdit() const { return sender_; }          // 1015
  QLineEdit* NameEdit() const { return name_; }              // 1024
  QCheckBox* EnableBox() const { return enable_; }           // 1038
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  QLineEdit* server_;
  QLineEdit* recipients_;
  QLineEdit* sender_;
  QLineEdit* name_;
  QCheckBox* enable_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

// The form the setup command runs: a fresh dialog over the main window each
// time, as the command constructs its dialog anew.
class EmailSetupDialogForm : public EmailSetupForm {
 public:
  explicit EmailSetupDialogForm(QWidget* owner) : owner_(owner) {}
  int Run(EmailSetupFields& fields) override;

 private:
  QWidget* owner_;
};

}  // namespace kivo
