// Showing, activating and, where that is refused, marking a window urgent.
#include "ui/WindowActivation.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace kivo {

WindowActivation::WindowActivation(QWidget& window) : QObject(&window), window_(window) {
  request = [](QWindow& handle) { handle.requestActivate(); };
  check_.setSingleShot(true);
  check_.setInterval(kActivationCheckMs);
  connect(&check_, &QTimer::timeout, this, &WindowActivation::Check);
}

WindowActivation::~WindowActivation() {
  if (watched_ != nullptr) watched_->removeEventFilter(this);
}

void WindowActivation::Activate(const std::string& token) {
  if (!token.empty()) token_ = QByteArray::fromStdString(token);
  window_.show();
  window_.raise();
  QWindow* handle = window_.windowHandle();
  if (handle == nullptr) return;
  if (handle->isExposed()) {
    RequestNow();
    return;
  }
  // A compositor ignores activation of a surface it has not mapped yet.
  if (watched_ != handle) {
    if (watched_ != nullptr) watched_->removeEventFilter(this);
    watched_ = handle;
    handle->installEventFilter(this);
  }
  waitingForExpose_ = true;
}

bool WindowActivation::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watched_ && event->type() == QEvent::Expose && waitingForExpose_ && watched_->isExposed()) {
    waitingForExpose_ = false;
    // After the expose is handled, so the window is mapped when asked for.
    QMetaObject::invokeMethod(this, &WindowActivation::RequestNow, Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

void WindowActivation::RequestNow() {
  QWindow* handle = window_.windowHandle();
  if (handle == nullptr || !window_.isVisible()) return;
  const QByteArray token = token_;
  token_.clear();
  // Qt's Wayland plugin takes the token from the environment for its next
  // activation request and unsets it; other platforms leave it there.
  if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token);
  if (request) request(*handle);
  if (!token.isEmpty()) qunsetenv("XDG_ACTIVATION_TOKEN");
  emit Requested();
  check_.start();
}

void WindowActivation::Check() {
  if (!window_.isVisible() || window_.isActiveWindow()) return;
  // Until the user comes to it: the window system clears the mark then.
  QApplication::alert(&window_, 0);
  emit MarkedUrgent();
}

}  // namespace kivo
