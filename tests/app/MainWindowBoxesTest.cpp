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
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    parent = box->parentWidget();
    text = box->text();
    title = box->windowTitle();
    box->button(QMessageBox::No)->click();
  });
  const int answer = boxes.MessageBoxA(true, "Question?", "Kivo Disk Managenemt Utility",
                                       platform::MB_YESNO | platform::MB_ICONEXCLAMATION);
  EXPECT_EQ(answer, platform::IDNO);
  EXPECT_EQ(parent, nullptr);
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

// Whether the main window is seen or not, a box comes out above the alert
// window (kept above all others) and speaks in the windows' dialog font.
TEST(MainWindowBoxesTest, EveryBoxStaysAboveTheAlertWindowInTheDialogFont) {
  for (const bool windowSeen : {false, true}) {
    QWidget window;
    window.setVisible(windowSeen);
    MainWindowBoxes boxes;
    boxes.SetWindow(&window);
    bool onTop = false;
    QFont font;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
      font = box->font();
      box->button(QMessageBox::Ok)->click();
    });
    boxes.MessageBoxA(true, "Error: registry access failed, check your setup. (0x5)", "Kivo",
                      platform::MB_OK);
    EXPECT_TRUE(onTop) << windowSeen;
    EXPECT_EQ(font, DialogFont()) << windowSeen;
  }
}

TEST(MainWindowBoxesTest, TrayMenuSpeaksInTheDialogFont) {
  EXPECT_EQ(TrayIcon::BuildMenu()->font(), DialogFont());
}

}  // namespace
}  // namespace kivo
