// LoopbackMailOwner: owns a MailSender for tests that run the e-mail test
// without a main window: read notifications and blocking waits through Qt,
// the e-mail log in a scratch directory, status messages handled at once or
// from the event loop, as the main window handles its MailStatusMessage.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <string>

#include "mail/EmailLog.h"
#include "mail/MailSender.h"
#include "ui/QtSocketWait.h"
#include "ui/QtSocketWatcher.h"

namespace kivo::test {

class LoopbackMailOwner : public QObject, public MailOwner {
 public:
  LoopbackMailOwner(platform::MessageBoxes& boxes, std::string directory, unsigned port)
      : log_(boxes, std::move(directory)), sender_(*this, watcher_, log_, port, &wait_) {}
  ~LoopbackMailOwner() override { sender_.DropSession(); }

  int SendEmailMessage(const EmailSettings& settings, const std::string& text) {
    return sender_.SendEmailMessage(settings, text);
  }
  // True while the session's connect or send runs the event loop.
  bool Waiting() const { return sender_.Waiting(); }
  void SendMailStatus(int wParam, long lParam) override { sender_.HandleMailStatus(wParam, lParam); }
  void PostMailStatus(int wParam, long lParam) override {
    QPointer<LoopbackMailOwner> self(this);
    QTimer::singleShot(0, this, [self, wParam, lParam] {
      if (self != nullptr) self->sender_.HandleMailStatus(wParam, lParam);
    });
  }

 private:
  QtSocketWatcher watcher_;
  QtSocketWait wait_;
  EmailLog log_;
  MailSender sender_;
};

}  // namespace kivo::test
