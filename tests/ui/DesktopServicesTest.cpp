// The Qt message boxes (caption, text, icon, buttons, answer) and the
// launcher's detached program start.
#include "ui/DesktopServices.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "UiTestSupport.h"

namespace kivo::test {
namespace {

struct SeenBox {
  std::string caption;
  std::string text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QWidget* parent = nullptr;
};

// Answers the next message box with `answer` and records what it showed.
void AnswerNextBox(SeenBox& seen, QMessageBox::StandardButton answer) {
  QTimer::singleShot(0, [&seen, answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen.caption = box->windowTitle().toStdString();
    seen.text = box->text().toStdString();
    seen.icon = box->icon();
    seen.buttons = box->standardButtons();
    seen.parent = box->parentWidget();
    box->button(answer)->click();
  });
}

TEST(DesktopServicesTest, ErrorBoxWithOkAndNoOwner) {
  QWidget owner;
  QtMessageBoxes boxes(&owner);
  SeenBox seen;
  AnswerNextBox(seen, QMessageBox::Ok);
  EXPECT_EQ(boxes.MessageBoxA(false, "Cannot open file data.txt.", "Error", platform::MB_ICONERROR),
            platform::IDOK);
  EXPECT_EQ(seen.caption, "Error");
  EXPECT_EQ(seen.text, "Cannot open file data.txt.");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(seen.parent, nullptr);
}

TEST(DesktopServicesTest, OwnedYesNoQuestionReturnsTheAnswer) {
  QWidget owner;
  QtMessageBoxes boxes(&owner);
  SeenBox seen;
  AnswerNextBox(seen, QMessageBox::No);
  EXPECT_EQ(boxes.MessageBoxA(true, "Test?", "Kivo Disk Managenemt Utility",
                              platform::MB_YESNO | platform::MB_ICONEXCLAMATION),
            platform::IDNO);
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(seen.parent, &owner);
  AnswerNextBox(seen, QMessageBox::Yes);
  EXPECT_EQ(boxes.MessageBoxA(true, "Test?", "c", platform::MB_YESNO), platform::IDYES);
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

TEST(DesktopServicesTest, SingleByteTextKeepsItsCharacters) {
  QtMessageBoxes boxes;
  SeenBox seen;
  AnswerNextBox(seen, QMessageBox::Ok);
  boxes.MessageBoxA(false,
                    "Gr\xF6\xDF"
                    "e (0x2)",
                    "c", platform::MB_OK);
  EXPECT_EQ(QString::fromStdString(seen.text), QString::fromLatin1("Gr\xF6\xDF"
                                                                   "e (0x2)"));
}

TEST(DesktopServicesTest, EditorFromEnvironmentStartsDetachedWithTheFile) {
  ScratchDirectory scratch;
  const std::string script = scratch.Path() + "/editor.sh";
  const std::string output = scratch.Path() + "/opened.txt";
  {
    std::ofstream file(script);
    file << "#!/bin/sh\nprintf '%s' \"$1\" > '" << output << ".part' && mv '" << output << ".part' '"
         << output << "'\n";
  }
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  setenv("KIVO_EDITOR", script.c_str(), 1);
  QtLauncher launcher;
  launcher.OpenTextFile("data.txt");
  unsetenv("KIVO_EDITOR");
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(output); }, 10000));
  std::ifstream in(output);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "data.txt") << "the file name is passed as one argument, without a shell";
}

}  // namespace
}  // namespace kivo::test
