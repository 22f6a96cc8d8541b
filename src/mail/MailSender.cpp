// MailSender: session lifetime around SendEmailMessage and the status message.
#include "mail/MailSender.h"

#include <new>

#include "report/ReportText.h"

namespace kivo {

MailSender::MailSender(MailOwner& owner, platform::SocketWatcher& watcher, EmailLog& log, unsigned port)
    : owner_(owner), watcher_(watcher), log_(log), port_(port) {}

MailSender::~MailSender() {
  DropSession();
}

int MailSender::SendEmailMessage(const EmailSettings& settings, const std::string& text) {
  currentMail_ = text;
  if (settings.Host.empty() || settings.FromName.empty() || settings.FromID.empty() ||
      settings.ToID.empty()) {
    return 0;
  }
  if (!session_) {
    session_.reset(new (std::nothrow) SmtpSession(owner_, watcher_, log_, port_));
    if (!session_) {
      DropSession();
      ReportText().Append("Could not open a new socket. Email failed.");
      return 0;
    }
  }
  session_->PrepareMessage(settings.Host, settings.FromName, settings.FromID, settings.ToID, currentMail_);
  if (session_->OpenConnection() == 1) return 1;
  DropSession();
  return 0;
}

void MailSender::DropSession() {
  if (!session_) return;
  session_->Close();
  session_->SetState(Idle);
  session_.reset();
}

long MailSender::HandleMailStatus(int wParam, long lParam) {
  if (lParam == kMailDone) DropSession();
  if (wParam == kMailFailed) DropSession();
  return 0;
}

}  // namespace kivo
