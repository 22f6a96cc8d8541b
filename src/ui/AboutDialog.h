// AboutDialog: the About box (template 100): icon, product name, "version "
// with the program's version text, the legal notice and OK. ShowAboutBox runs
// it for the three ways of opening it. Shell code only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace kivo {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);

  QLabel* NameLabel() const { return name_; }
  QLabel* VersionLabel() const { return version_; }
  QLabel* NoticeLabel() const { return notice_; }
  QLabel* IconLabel() const { return icon_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  QLabel* icon_;
  QLabel* name_;
  QLabel* version_;
  QLabel* notice_;
  QPushButton* ok_;
};

// Runs the About box modally and returns when it closes. Over a visible main
// window it is owned by it; while the main window is hidden (opened from the
// tray) it shows on its own and the main window stays hidden. Only one box
// is open at a time: a second request while one is open brings that one
// forward and returns at once.
void ShowAboutBox(QWidget* mainWindow);
// The About box now open, or null (tests close it through this).
AboutDialog* OpenAboutBox();

}  // namespace kivo
