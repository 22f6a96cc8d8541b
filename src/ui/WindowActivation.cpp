// Showing, activating and, where that is refused, marking a window urgent.
#include "ui/WindowActivation.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include "ui/WaylandActivationToken.h"

namespace kivo {

WindowActivation::WindowActivation(QWidget& window) : QObject(&window), window_(window) {
  request = [](QWindow& handle) { handle.requestActivate(); };
  ownToken = [] {
    if (QGuiApplication::platformName() != QStringLiteral("wayland")) return std::string();
    return RequestWaylandActivationToken(QGuiApplication::desktopFileName().toStdString());
  };
  check_.setSingleShot(true);
  check_.setInterval(kActivationCheckMs);
  connect(&check_, &QTimer::timeout, this, &WindowActivation::Check);
}

WindowActivation::~WindowActivation() {
  if (watched_ != nullptr) watched_->removeEventFilter(this);
}

void WindowActivation::Activate(const std::string& token) {
  if (!token.empty()) token_ = QByteArray::fromStdString(token);
  const bool wasShown = window_.isVisible();
  window_.show();
  window_.raise();
  QWindow* handle = window_.windowHandle();
  if (handle == nullptr) return;
  if (watched_ != handle) {
    if (watched_ != nullptr) watched_->removeEventFilter(this);
    watched_ = handle;
    handle->installEventFilter(this);
  }
  // A window that was shown is mapped, also where it cannot be seen (another
  // workspace): it is asked for at once. One shown now gets a new surface,
  // which a compositor maps only with its first picture: the request waits
  // for it to be exposed and painted.
  if (wasShown && !waitingForExpose_) {
    RequestNow();
    return;
  }
  // A platform that exposes the window while showing it (offscreen) has
  // done so before the filter was there.
  if (!wasShown && handle->isExposed()) {
    waitingForExpose_ = false;
    QMetaObject::invokeMethod(this, &WindowActivation::RequestNow, Qt::QueuedConnection);
    return;
  }
  waitingForExpose_ = true;
}

bool WindowActivation::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watched_ && event->type() == QEvent::Expose && waitingForExpose_ && watched_->isExposed()) {
    waitingForExpose_ = false;
    // After the expose is handled (the widgets paint in it), so the window
    // is mapped when asked for.
    QMetaObject::invokeMethod(this, &WindowActivation::RequestNow, Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

void WindowActivation::RequestNow() {
  QWindow* handle = window_.windowHandle();
  if (handle == nullptr || !window_.isVisible()) return;
  QByteArray token = token_;
  token_.clear();
  if (token.isEmpty() && ownToken) token = QByteArray::fromStdString(ownToken());
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
