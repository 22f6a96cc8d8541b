// The SMTP sender of the running utility.
#include "app/AppMail.h"

#include <QPointer>
#include <QTimer>

namespace kivo {

AppMail::AppMail(platform::MessageBoxes& boxes, std::string directory, unsigned port, QObject* parent)
    : QObject(parent), log_(boxes, std::move(directory)), sender_(*this, watcher_, log_, port) {}

AppMail::~AppMail() {
  sender_.DropSession();
}

int AppMail::SendEmailMessage(const EmailSettings& settings, const std::string& text) {
  return sender_.SendEmailMessage(settings, text);
}

void AppMail::SendMailStatus(int wParam, long lParam) {
  sender_.HandleMailStatus(wParam, lParam);
}

void AppMail::PostMailStatus(int wParam, long lParam) {
  QPointer<AppMail> self(this);
  QTimer::singleShot(0, this, [self, wParam, lParam] {
    if (self != nullptr) self->sender_.HandleMailStatus(wParam, lParam);
  });
}

}  // namespace kivo
