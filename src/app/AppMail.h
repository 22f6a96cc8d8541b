// AppMail: the SMTP sender of the running utility with what it needs on the
// user-interface thread: read notifications through Qt, the e-mail log, and
// status messages delivered at once or queued. Used by the e-mail setup.
#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "mail/EmailLog.h"
#include "mail/MailSender.h"
#include "mail/SmtpSession.h"
#include "ui/QtSocketWatcher.h"

namespace kivo {

class AppMail : public QObject, public MailOwner {
  Q_OBJECT

 public:
  // The log's failure boxes go through `boxes`; the log lives in `directory`.
  // The program always uses port 25; tests give a loopback port.
  explicit AppMail(platform::MessageBoxes& boxes, std::string directory = ".",
                   unsigned port = SmtpSession::kSmtpPort, QObject* parent = nullptr);
  ~AppMail() override;

  int SendEmailMessage(const EmailSettings& settings, const std::string& text);
  MailSender& Sender() { return sender_; }

  void SendMailStatus(int wParam, long lParam) override;
  void PostMailStatus(int wParam, long lParam) override;

 private:
  QtSocketWatcher watcher_;
  EmailLog log_;
  MailSender sender_;
};

}  // namespace kivo
