// MainWindowBoxes: the message boxes of the running utility. A box is owned by
// the main window while the window is seen; over the hidden window (its usual
// state) the box stands alone in the middle of the screen instead of at the
// screen's edge next to the window's off-screen spot. Used by MonitorApp.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Desktop.h"

namespace kivo {

class MainWindowBoxes : public platform::MessageBoxes {
 public:
  void SetWindow(QWidget* window) { window_ = window; }
  // The owner a box gets now: the window when it is visible, else none.
  QWidget* Owner() const;
  int MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                  platform::UINT type) override;

 private:
  QPointer<QWidget> window_;
};

}  // namespace kivo
