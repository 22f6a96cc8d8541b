// MailSender: the main window's side of the SMTP sender. It owns at most one
// SmtpSession and the text CurrentMail, starts a delivery and handles
// MailStatusMessage. The window implements MailOwner by forwarding
// SendMailStatus to HandleMailStatus at once and PostMailStatus later.
// Where the session's blocking calls run the message loop, the sender keeps
// that loop from starting a second delivery or dropping the waiting session.
#pragma once

#include <memory>
#include <string>

#include "mail/EmailLog.h"
#include "mail/SettingsStore.h"
#include "mail/SmtpSession.h"
#include "platform/SocketWait.h"
#include "platform/SocketWatcher.h"

namespace kivo {

class MailSender : private platform::SocketWait {
 public:
  // `wait`: how the session's connect and sends wait (nullptr: they poll).
  MailSender(MailOwner& owner, platform::SocketWatcher& watcher, EmailLog& log,
             unsigned port = SmtpSession::kSmtpPort, platform::SocketWait* wait = nullptr);
  ~MailSender();
  MailSender(const MailSender&) = delete;
  MailSender& operator=(const MailSender&) = delete;

  // Starts delivering text with the given settings: 1 when the connection to
  // the server stands and the dialogue has begun, 0 when nothing was started
  // (a missing setting is not logged; a failed connection is, and so is a
  // setting holding CR or LF, which would end a command early: the line
  // names the setting). A call made while the session waits in a blocking
  // call (from the message loop that wait runs) starts nothing and returns 0.
  int SendEmailMessage(const EmailSettings& settings, const std::string& text);
  // Closes, deletes and forgets the session; nothing when there is none.
  // While the session waits in a blocking call it cannot go: it is dropped
  // through a MailFailed posted when the wait ends.
  void DropSession();
  // The handler of MailStatusMessage: MailDone and MailFailed drop the
  // session. Returns 0.
  long HandleMailStatus(int wParam, long lParam);

  const std::string& CurrentMail() const { return currentMail_; }
  SmtpSession* Session() { return session_.get(); }
  bool Waiting() const { return waiting_ > 0; }

 private:
  // The session's waits pass through here, so the sender knows when one runs.
  int WaitFor(int fd, short events, int timeoutMs) override;

  MailOwner& owner_;
  platform::SocketWatcher& watcher_;
  EmailLog& log_;
  unsigned port_;
  platform::SocketWait* wait_;
  int waiting_ = 0;
  bool dropWhenWaitEnds_ = false;
  std::unique_ptr<SmtpSession> session_;
  std::string currentMail_;
};

}  // namespace kivo
