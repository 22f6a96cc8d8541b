// The utility's message boxes: owned by the main window only while it is
// seen; text, caption and answer pass through.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "app/MainWindowBoxes.h"
#include "platform/Win32Types.h"

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

}  // namespace
}  // namespace kivo
