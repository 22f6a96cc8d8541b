// The utility's message boxes: owned by the main window only while it is
// seen; text, caption and answer pass through.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include "app/MainWindowBoxes.h"
#include "platform/Win32Types.h"
#include "ui/DialogUnits.h"
#include "ui/TrayIcon.h"

namespace kivo {
namespace {

TEST(MainWindowBoxesTest, OwnedOnlyWhileTheWindowIsSeen) {
  MainWindowBoxes boxes;
  EXPECT_EQ(boxes.Owner(), nullptr);
  QWidget window;
  boxes.SetWindow(&window);
  EXPECT_EQ(boxes.Owner(), nullptr);  // hidden
  window.show();
  EXPECT_EQ(boxes.Owner(), &window);
  window.hide();
  EXPECT_EQ(boxes.Owner(), nullptr);
}

TEST(MainWindowBoxesTest, BoxOverAHiddenWindowStandsAlone) {
  QWidget window;
  MainWindowBoxes boxes;
  boxes.SetWindow(&window);
  QWidget* parent = &window;
  QString text, title;
  bool onTop = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    parent = box->parentWidget();
    // Above the alert window (kept above all others), in the dialog font.
    onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint) && box->font() == DialogFont();
    text = box->text();
    title = box->windowTitle();
    box->button(QMessageBox::No)->click();
  });
  const int answer = boxes.MessageBoxA(true, "Question?", "Kivo Disk Managenemt Utility",
                                       platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
  EXPECT_EQ(answer, platform::IDNO);
  EXPECT_EQ(parent, nullptr);
  EXPECT_TRUE(onTop);
  EXPECT_EQ(text, QStringLiteral("Question?"));
  EXPECT_EQ(title, QStringLiteral("Kivo Disk Managenemt Utility"));
}

TEST(MainWindowBoxesTest, BoxOverAVisibleWindowIsOwned) {
  QWidget window;
  window.show();
  MainWindowBoxes boxes;
  boxes.SetWindow(&window);
  QWidget* parent = nullptr;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    parent = box->parentWidget();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(
      boxes.MessageBoxA(true, "Unable to open clipboard", "Kivo Disk Managenemt Utility", platform::MB_OK),
      platform::IDOK);
  EXPECT_EQ(parent, &window);
}

TEST(MainWindowBoxesTest, TrayMenuSpeaksInTheDialogFont) {
  EXPECT_EQ(TrayIcon::BuildMenu()->font(), DialogFont());
}

}  // namespace
}  // namespace kivo
