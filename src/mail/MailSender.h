// MailSender: the main window's side of the SMTP sender. It owns at most one
// SmtpSession and the text CurrentMail, starts a delivery and handles
// MailStatusMessage. The window implements MailOwner by forwarding
// SendMailStatus to HandleMailStatus at once and PostMailStatus later.
#pragma once

#include <memory>
#include <string>

#include "mail/EmailLog.h"
#include "mail/SettingsStore.h"
#include "mail/SmtpSession.h"
#include "platform/SocketWatcher.h"

namespace kivo {

class MailSender {
 public:
  MailSender(MailOwner& owner, platform::SocketWatcher& watcher, EmailLog& log,
             unsigned port = SmtpSession::kSmtpPort);
  ~MailSender();
  MailSender(const MailSender&) = delete;
  MailSender& operator=(const MailSender&) = delete;

  // Starts delivering text with the given settings: 1 when the connection to
  // the server stands and the dialogue has begun, 0 when nothing was started
  // (a missing setting is not logged; a failed connection is).
  int SendEmailMessage(const EmailSettings& settings, const std::string& text);
  // Closes, deletes and forgets the session; nothing when there is none.
  void DropSession();
  // The handler of MailStatusMessage: MailDone and MailFailed drop the
  // session. Returns 0.
  long HandleMailStatus(int wParam, long lParam);

  const std::string& CurrentMail() const { return currentMail_; }
  SmtpSession* Session() { return session_.get(); }

 private:
  MailOwner& owner_;
  platform::SocketWatcher& watcher_;
  EmailLog& log_;
  unsigned port_;
  std::unique_ptr<SmtpSession> session_;
  std::string currentMail_;
};

}  // namespace kivo
