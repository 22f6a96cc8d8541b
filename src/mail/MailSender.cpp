// MailSender: session lifetime around SendEmailMessage and the status message.
#include "mail/MailSender.h"

#include <new>
#include <utility>

#include "report/ReportText.h"

namespace kivo {

MailSender::MailSender(MailOwner& owner, platform::SocketWatcher& watcher, EmailLog& log, unsigned port,
                       platform::SocketWait* wait)
    : owner_(owner), watcher_(watcher), log_(log), port_(port), wait_(wait) {}

MailSender::~MailSender() {
  DropSession();
}

int MailSender::WaitFor(int fd, short events, int timeoutMs) {
  ++waiting_;
  const int ready = wait_->WaitFor(fd, events, timeoutMs);
  --waiting_;
  if (waiting_ == 0 && dropWhenWaitEnds_) {
    dropWhenWaitEnds_ = false;
    owner_.PostMailStatus(kMailFailed, platform::WSAEINTR);
  }
  return ready;
}

int MailSender::SendEmailMessage(const EmailSettings& settings, const std::string& text) {
  if (Waiting()) return 0;  // the session is in the middle of a blocking call
  currentMail_ = text;
  if (settings.Host.empty() || settings.FromName.empty() || settings.FromID.empty() ||
      settings.ToID.empty()) {
    return 0;
  }
  // A CR or LF would end a command early and let the rest of the text pass
  // as commands of its own: such a setting never reaches the wire or the log.
  const std::pair<const char*, const std::string*> texts[] = {{"Host", &settings.Host},
                                                              {"FromName", &settings.FromName},
                                                              {"FromID", &settings.FromID},
                                                              {"ToID", &settings.ToID}};
  for (const auto& [name, value] : texts) {
    if (value->find_first_of("\r\n") != std::string::npos) {
      platform::WSASetLastError(platform::WSAEINVAL);
      return log_.LogEmailFailure("Email: Line break in setting -", name);
    }
  }
  if (!session_) {
    session_.reset(new (std::nothrow)
                       SmtpSession(owner_, watcher_, log_, port_, wait_ != nullptr ? this : nullptr));
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
  if (Waiting()) {
    dropWhenWaitEnds_ = true;
    return;
  }
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
