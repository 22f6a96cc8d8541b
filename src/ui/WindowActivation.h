// WindowActivation: brings one window to the user. It shows the window and,
// once the window system has mapped it, asks for it to be activated, with
// the activation token it was handed (a launcher's, through a second start,
// or a notification server's) where it has one: Qt's Wayland plugin sends
// that token with its xdg-activation request; without one, on Wayland, a
// token of the utility's own. Where the window is still not
// active a moment later (the compositor refused, or focus-stealing prevention
// held it back), it is marked urgent until it is activated. Qt shell glue.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <string>

class QWidget;
class QWindow;

namespace kivo {

class WindowActivation : public QObject {
  Q_OBJECT

 public:
  // How long the window system is given to activate the window.
  static constexpr int kActivationCheckMs = 1000;

  explicit WindowActivation(QWidget& window);
  ~WindowActivation() override;

  // Shows the window (raised) and asks for its activation; `token` is an
  // activation token or empty. A token is used once.
  void Activate(const std::string& token = "");
  void SetCheckInterval(int ms) { check_.setInterval(ms); }

  // The request for the mapped window, made while the token (if any) is in
  // XDG_ACTIVATION_TOKEN, where Qt's Wayland plugin takes it from; the
  // default calls QWindow::requestActivate. Tests replace it.
  std::function<void(QWindow& window)> request;
  // Where no token was handed over: one of the utility's own (on Wayland,
  // RequestWaylandActivationToken), so that the compositor hears of the
  // window even when the toolkit has no input of the user's to ask with.
  // Tests replace it.
  std::function<std::string()> ownToken;
  // The check after a request is pending.
  bool Checking() const { return check_.isActive(); }

 signals:
  // The activation was asked for (after the window was mapped).
  void Requested();
  // The window was not active in time and was marked urgent.
  void MarkedUrgent();

 private:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void RequestNow();
  void Check();

  QWidget& window_;
  QPointer<QWindow> watched_;
  QByteArray token_;
  bool waitingForExpose_ = false;
  QTimer check_;
};

}  // namespace kivo
