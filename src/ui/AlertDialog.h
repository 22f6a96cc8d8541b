// AlertDialog: the event notification window (template 101). Created hidden by
// the main window and kept for its whole life; each alert shows it with the
// new line on top, asks for it to be activated (urgent where that is refused)
// and runs the alarm (beep and flashing caption) until the user acknowledges;
// the desktop presence hears of both. To assistive technologies it is an
// alert whose message text is named by its newest entry. Shell code only; the
// decisions live in AlertLogic.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <string>

#include "platform/PlatformContext.h"
#include "shell/AlertLogic.h"
#include "ui/DesktopServices.h"
#include "ui/WindowActivation.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace kivo {

class DesktopPresence;

class AlertDialog : public QDialog {
  Q_OBJECT

 public:
  // audioOffFlag: the process-wide audio switch, read on every alert and
  // written by the check box. The context's registry, message boxes and
  // launcher are used; none of the referenced objects is owned.
  AlertDialog(const platform::PlatformContext& context, int& audioOffFlag, Beeper& beeper, Flasher& flasher,
              QWidget* parent = nullptr);

  // `activationToken`: a token to activate the window with (a notification's
  // "Show"), or empty.
  void ShowAlert(const std::string& line, const std::string& activationToken = "");
  // Handlers of the window's commands and timers (also reached by tests).
  void Acknowledge();
  void OpenBrowser();
  void AudioOffClicked();
  void BeepTick();
  void FlashTick();
  // The audio switch changed elsewhere (the main menu): the box follows.
  void SetAudioOff(int audioOff);
  // Told of every alarm and acknowledgement; not owned, may be null.
  void SetPresence(DesktopPresence* presence) { presence_ = presence; }

 signals:
  // The user clicked "Audio off"; audioOff is the new state.
  void AudioOffChanged(int audioOff);
  // The caption area was flashed (true) or restored (false): each flash
  // tick of an alarm, and false when the alarm is acknowledged.
  void Flashed(bool inverted);

 public:
  const AlertLogic& Logic() const { return logic_; }
  // True while the window shows its flash (the frame in the highlight colour).
  bool FlashShown() const { return flashShown_; }
  QTimer& BeepTimer() { return beepTimer_; }
  QTimer& FlashTimer() { return flashTimer_; }
  WindowActivation& Activation() { return activation_; }
  // The accessible name of the message text: its newest entry, in lines.
  static QString NewestEntryName(const std::string& message);

 protected:
  void accept() override;  // OK and Enter
  void reject() override;  // Escape carries the Open Browser command
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void PushFields();
  void ShowFlash(bool inverted);
  void Acknowledged();

  platform::PlatformContext context_;
  int& audioOffFlag_;
  Beeper& beeper_;
  Flasher& flasher_;
  AlertLogic logic_;
  DesktopPresence* presence_ = nullptr;
  WindowActivation activation_{*this};
  bool flashShown_ = false;
  QTimer beepTimer_;
  QTimer flashTimer_;
  QPlainTextEdit* messageEdit_ = nullptr;
  QCheckBox* audioOffBox_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* browserButton_ = nullptr;
};

}  // namespace kivo
