// The About box (texts, one at a time, on its own while the main window is
// hidden) and the help (topic of the main window, lookup order, missing help).
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "AppTestSupport.h"
#include "report/ProgramVersion.h"
#include "ui/AboutDialog.h"
#include "ui/HelpViewer.h"

namespace kivo {
namespace {

TEST(AboutDialogTest, NamesTheProductAndItsVersion) {
  AboutDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Kivo Disk Management Utility"));
  EXPECT_EQ(dialog.NameLabel()->text(), QStringLiteral("Kivo Disk Management Utility"));
  EXPECT_EQ(dialog.VersionLabel()->text(),
            QStringLiteral("version ") + QString::fromLatin1(ProgramVersionText()));
  EXPECT_EQ(dialog.NoticeLabel()->text(), QString::fromLatin1(kLegalNotice));
  EXPECT_EQ(dialog.NameLabel()->textFormat(), Qt::PlainText);
  EXPECT_FALSE(dialog.IconLabel()->pixmap().isNull());
  EXPECT_TRUE(dialog.OkButton()->isDefault());
  EXPECT_GT(dialog.width(), 2 * dialog.height());  // 217 x 66 units
}

TEST(AboutDialogTest, TheLegalNoticeIsShownWhole) {
  AboutDialog dialog;
  QLabel* notice = dialog.NoticeLabel();
  EXPECT_GE(notice->width(), notice->fontMetrics().horizontalAdvance(notice->text()));
  EXPECT_GE(notice->x(), 0);
  EXPECT_LE(notice->x() + notice->width(), dialog.width());
}

TEST(AboutDialogTest, OnlyOneBoxAtATimeAndAHiddenMainWindowStaysHidden) {
  QWidget mainWindow;  // never shown: the program started without "-max"
  int nestedReturned = 0;
  AboutDialog* seen = nullptr;
  QTimer::singleShot(0, [&] {
    seen = OpenAboutBox();
    ASSERT_NE(seen, nullptr);
    EXPECT_TRUE(seen->isVisible());
    EXPECT_EQ(seen->parentWidget(), nullptr);  // shows on its own
    // A second opening (tray menu, system menu) while it is open.
    ShowAboutBox(&mainWindow);
    ++nestedReturned;
    EXPECT_EQ(OpenAboutBox(), seen);
    seen->OkButton()->click();
  });
  ShowAboutBox(&mainWindow);
  EXPECT_EQ(nestedReturned, 1);
  EXPECT_EQ(OpenAboutBox(), nullptr);
  EXPECT_FALSE(mainWindow.isVisible());
}

TEST(AboutDialogTest, OwnedByAVisibleMainWindow) {
  QWidget mainWindow;
  mainWindow.show();
  QTimer::singleShot(0, [&] {
    ASSERT_NE(OpenAboutBox(), nullptr);
    EXPECT_EQ(OpenAboutBox()->parentWidget(), &mainWindow);
    OpenAboutBox()->reject();  // Esc and the close box
  });
  ShowAboutBox(&mainWindow);
  EXPECT_EQ(OpenAboutBox(), nullptr);
}

TEST(HelpTest, TopicOfTheMainWindow) {
  EXPECT_EQ(kMainWindowHelpContext, 0x20000u + 102u);
  EXPECT_EQ(HelpTopicPage(0x20066), "main-window.html");
  EXPECT_EQ(HelpTopicPage(0x20065), "index.html");
  // Help Topics opens the contents; only the window's own button its topic.
  EXPECT_EQ(HelpCommandPage(false), "index.html");
  EXPECT_EQ(HelpCommandPage(true), "main-window.html");
}

TEST(HelpTest, LookupOrder) {
  test::TempDir dir;
  namespace fs = std::filesystem;
  const fs::path root = dir.Path();
  fs::create_directories(root / "bin");
  fs::create_directories(root / "share/kivo/help");
  fs::create_directories(root / "source/help");
  std::ofstream(root / "source/help/index.html") << "<html></html>";
  ::unsetenv("KIVO_HELP_DIR");
  // Nothing installed: the source tree's help.
  EXPECT_EQ(FindHelpDirectory((root / "bin").string(), (root / "source/help").string()),
            fs::weakly_canonical(root / "source/help").string());
  // Installed beside the program wins.
  std::ofstream(root / "share/kivo/help/index.html") << "<html></html>";
  EXPECT_EQ(FindHelpDirectory((root / "bin").string(), (root / "source/help").string()),
            fs::weakly_canonical(root / "share/kivo/help").string());
  // The environment wins over both.
  ::setenv("KIVO_HELP_DIR", (root / "source/help").c_str(), 1);
  EXPECT_EQ(FindHelpDirectory((root / "bin").string(), ""),
            fs::weakly_canonical(root / "source/help").string());
  ::unsetenv("KIVO_HELP_DIR");
}

TEST(HelpTest, ShowsTheMainWindowTopicAndClosesOnQuit) {
  HelpViewer viewer(std::string(std::getenv("KIVO_SOURCE_DIR") ? std::getenv("KIVO_SOURCE_DIR") : ".") +
                    "/help");
  ASSERT_TRUE(viewer.ShowTopic(kMainWindowHelpContext));
  ASSERT_NE(viewer.Window(), nullptr);
  EXPECT_TRUE(viewer.Window()->isVisible());
  EXPECT_TRUE(viewer.Window()->source().toString().endsWith(QStringLiteral("main-window.html")));
  EXPECT_TRUE(viewer.Window()->toPlainText().contains(QStringLiteral("Update")));
  viewer.Quit();
  EXPECT_EQ(viewer.Window(), nullptr);
}

// The window opens inside the screen's available area and a key closes it,
// as a help viewer's window does.
TEST(HelpTest, WindowFitsTheScreenAndEscOrCtrlWClosesIt) {
  const std::string help =
      std::string(std::getenv("KIVO_SOURCE_DIR") ? std::getenv("KIVO_SOURCE_DIR") : ".") + "/help";
  for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
    HelpViewer viewer(help);
    ASSERT_TRUE(viewer.ShowTopic(kMainWindowHelpContext));
    QWidget* window = viewer.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(window->frameGeometry()))
        << window->frameGeometry().y() << "+" << window->frameGeometry().height();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keySequence(window, keys);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return viewer.Window() == nullptr || !viewer.Window()->isVisible(); }, 2000))
        << keys.toString().toStdString();
  }
}

TEST(HelpTest, MissingHelpIsReportedByTheHelpWindow) {
  test::TempDir dir;
  const char* source = std::getenv("KIVO_SOURCE_DIR");
  const std::string saved = source != nullptr ? source : "";
  ::unsetenv("KIVO_SOURCE_DIR");
  ::setenv("KIVO_HELP_DIR", dir.Path().c_str(), 1);
  struct Case {
    bool contentsPage;  // index.html present, the topic's page not
    const char* says;
  };
  for (const Case& c : {Case{false, "help files of the Kivo Disk Management Utility cannot be found"},
                        Case{true, "\"main-window.html\" cannot be found in "}}) {
    if (c.contentsPage) std::ofstream(std::filesystem::path(dir.Path()) / "index.html") << "<html></html>";
    HelpViewer viewer(dir.Path());
    EXPECT_TRUE(viewer.ShowTopic(kMainWindowHelpContext)) << "no \"Failed to launch help.\" box";
    ASSERT_NE(viewer.Window(), nullptr);
    EXPECT_TRUE(viewer.Window()->isVisible());
    EXPECT_TRUE(viewer.Window()->toPlainText().contains(QString::fromLatin1(c.says)))
        << viewer.Window()->toPlainText().toStdString();
  }
  ::unsetenv("KIVO_HELP_DIR");
  if (!saved.empty()) ::setenv("KIVO_SOURCE_DIR", saved.c_str(), 1);
}

}  // namespace
}  // namespace kivo
