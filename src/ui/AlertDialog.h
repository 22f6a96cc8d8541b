// AlertDialog: the event notification window (template 101). Created hidden by
// the main window and kept for its whole life; each alert shows it with the
// new line on top and runs the alarm (beep and flashing caption) until the user
// acknowledges. Shell code only; the decisions live in AlertLogic.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>

#include "platform/PlatformContext.h"
#include "shell/AlertLogic.h"
#include "ui/DesktopServices.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace kivo {

class AlertDialog : public QDialog {
  Q_OBJECT

 public:
  // audioOffFlag: the process-wide audio switch, read on every alert and
  // written by the check box. The context's registry, message boxes and
  // launcher are used; none of the referenced objects is owned.
  AlertDialog(const platform::PlatformContext& context, int& audioOffFlag, Beeper& beeper, Flasher& flasher,
              QWidget* parent = nullptr);

  void ShowAlert(const std::string& line);
  // Handlers of the window's commands and timers (also reached by tests).
  void Acknowledge();
  void OpenBrowser();
  void AudioOffClicked();
  void BeepTick();
  void FlashTick();
  // The audio switch changed elsewhere (the main menu): the box follows.
  void SetAudioOff(int audioOff);

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

 protected:
  void accept() override;  // OK and Enter
  void reject() override;  // Escape carries the Open Browser command
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void PushFields();
  void ShowFlash(bool inverted);

  platform::PlatformContext context_;
  int& audioOffFlag_;
  Beeper& beeper_;
  Flasher& flasher_;
  AlertLogic logic_;
  bool flashShown_ = false;
  QTimer beepTimer_;
  QTimer flashTimer_;
  QPlainTextEdit* messageEdit_ = nullptr;
  QCheckBox* audioOffBox_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* browserButton_ = nullptr;
};

}  // namespace kivo
