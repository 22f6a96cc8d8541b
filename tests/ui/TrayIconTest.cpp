// The tray icon: menu 200, the mouse messages and a desktop without a tray.
#include "ui/TrayIcon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

namespace kivo::test {
namespace {

class RecordingOwner : public TrayOwner {
 public:
  void ShowAlert(const std::string& line) override { alerts.push_back(line); }
  void DispatchCommand(int id) override { commands.push_back(id); }
  std::vector<std::string> alerts;
  std::vector<int> commands;
};

TEST(TrayIconTest, MenuTwoHundredItemsAndCommands) {
  const auto menu = TrayIcon::BuildMenu();
  const QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), 4);
  EXPECT_EQ(actions[0]->text().toStdString(), "&View Alarms");
  EXPECT_EQ(actions[0]->data().toInt(), 201);
  EXPECT_EQ(actions[1]->text().toStdString(), "&About Kivo...");
  EXPECT_EQ(actions[1]->data().toInt(), 32781);
  EXPECT_TRUE(actions[2]->isSeparator());
  EXPECT_EQ(actions[3]->text().toStdString(), "E&xit");
  EXPECT_EQ(actions[3]->data().toInt(), 203);
}

TEST(TrayIconTest, DoubleClickShowsAlertWithEmptyLine) {
  RecordingOwner owner;
  TrayIcon tray(owner);
  tray.HandleTrayCallback(TrayIcon::WM_LBUTTONDBLCLK);
  EXPECT_EQ(owner.alerts, std::vector<std::string>{""});
  EXPECT_TRUE(owner.commands.empty());
}

TEST(TrayIconTest, RightButtonReleaseOpensMenuAtCursorAndSendsChoice) {
  RecordingOwner owner;
  TrayIcon tray(owner);
  int shown = 0;
  tray.popup = [&](QMenu& menu, const QPoint&) {
    ++shown;
    return menu.actions().at(3);
  };
  tray.HandleTrayCallback(TrayIcon::WM_RBUTTONDOWN);
  EXPECT_EQ(shown, 0) << "pressing the button does nothing";
  tray.HandleTrayCallback(TrayIcon::WM_RBUTTONUP);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(owner.commands, std::vector<int>{203});
}

TEST(TrayIconTest, DismissedMenuAndSingleClicksDoNothing) {
  RecordingOwner owner;
  TrayIcon tray(owner);
  tray.popup = [](QMenu&, const QPoint&) -> QAction* { return nullptr; };
  tray.HandleTrayCallback(TrayIcon::WM_RBUTTONUP);
  tray.HandleTrayCallback(TrayIcon::WM_LBUTTONUP);
  tray.HandleTrayCallback(0x0201);
  tray.HandleTrayCallback(0x0200);
  EXPECT_TRUE(owner.commands.empty());
  EXPECT_TRUE(owner.alerts.empty());
}

TEST(TrayIconTest, WithoutTrayTheProgramRunsOnAndTheIconWaitsForOne) {
  RecordingOwner owner;
  TrayIcon tray(owner);
  // The offscreen platform has no notification area (yet): the icon stays
  // registered, so a tray that starts later gets it.
  EXPECT_FALSE(tray.AddTrayIcon(TrayIcon::kTrayIconId, QIcon(), "Kivo Disk Management Utility"));
  EXPECT_TRUE(tray.IsAdded());
  EXPECT_EQ(tray.Tip(), "Kivo Disk Management Utility");
  EXPECT_TRUE(tray.RemoveTrayIcon(TrayIcon::kTrayIconId));
  EXPECT_FALSE(tray.IsAdded());
  tray.HandleTrayCallback(TrayIcon::WM_LBUTTONDBLCLK);
  EXPECT_EQ(owner.alerts.size(), 1u);
}

TEST(TrayIconTest, ActivationsOfBothKindsOfTray) {
  struct Case {
    QSystemTrayIcon::ActivationReason reason;
    bool embedded;  // an X11 tray; else a StatusNotifierItem host
    int message;
  };
  const Case cases[] = {
      {QSystemTrayIcon::DoubleClick, true, TrayIcon::WM_LBUTTONDBLCLK},
      {QSystemTrayIcon::Trigger, true, 0},  // a single click, on the press
      {QSystemTrayIcon::Context, true, 0},  // the press; the release opens the menu
      {QSystemTrayIcon::MiddleClick, true, 0},
      {QSystemTrayIcon::Trigger, false, TrayIcon::WM_LBUTTONDBLCLK},
      {QSystemTrayIcon::DoubleClick, false, TrayIcon::WM_LBUTTONDBLCLK},
      {QSystemTrayIcon::Context, false, TrayIcon::WM_RBUTTONUP},
      {QSystemTrayIcon::MiddleClick, false, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrayIcon::MouseMessageOf(c.reason, c.embedded), c.message) << c.reason << " " << c.embedded;
  }
}

TEST(TrayIconTest, TipIsCutToSixtyThreeCharacters) {
  RecordingOwner owner;
  TrayIcon tray(owner);
  tray.AddTrayIcon(TrayIcon::kTrayIconId, QIcon(), std::string(80, 'k'));
  EXPECT_EQ(tray.Tip(), std::string(63, 'k'));
}

}  // namespace
}  // namespace kivo::test
