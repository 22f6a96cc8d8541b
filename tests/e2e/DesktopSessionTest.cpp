// The utility on a desktop session as a user has it: Xvfb with a window
// manager (openbox) and a tray host (trayer), both started here. The alarm
// is seen flashing while its window is active, the tray icon blinks, the
// tray menu opens on the release of the right button, a tray that starts
// late gets the icon, and boxes come out above the alert window.
#include "SessionFixture.h"

namespace kivo::test {
namespace {

constexpr const char* kMainTitle = "Kivo Disk Management Utility";
constexpr const char* kAlertTitle = "Kivo - Event Notification Message";

class DesktopSessionTest : public EndToEndTest {
 protected:
  void SetUp() override {
    for (const char* tool : {"openbox", "trayer", "xwininfo", "xprop", "import"}) {
      if (!OnPath(tool)) GTEST_SKIP() << tool << " is needed";
    }
    EndToEndTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    StartWindowManager();
  }
  void TearDown() override {
    Shell("xdotool keyup Return mouseup 1 mouseup 3 >/dev/null 2>&1");
    EndToEndTest::TearDown();
  }

  void StartHidden() {
    StartKivo();
    ASSERT_TRUE(WaitUntil(
        [] { return Capture("xwininfo -root -tree 2>/dev/null").find(kMainTitle) != std::string::npos; },
        45s))
        << "no main window, shown or hidden, within 45 s" << Seen();
  }

  // The centre of the utility's icon embedded in the tray, or (-1, -1).
  static std::pair<int, int> TrayIconCentre() {
    std::istringstream tree(Capture("xwininfo -root -tree 2>/dev/null"));
    for (std::string line; std::getline(tree, line);) {
      if (line.find("\"kivo\": (\"kivo\" \"kivo\")") == std::string::npos) continue;
      int width = 0, height = 0, x = 0, y = 0, absX = 0, absY = 0;
      const auto at = line.find(")  ");
      if (std::sscanf(line.c_str() + at + 3, "%dx%d+%d+%d +%d+%d", &width, &height, &x, &y, &absX, &absY) ==
              6 &&
          width < 64 && height < 64) {
        return {absX + width / 2, absY + height / 2};
      }
    }
    return {-1, -1};
  }
  // Whether a popup menu of the utility shows: an override-redirect window
  // that is neither a tooltip nor the embedded icon.
  static bool MenuShown() {
    std::istringstream ids(Capture("xdotool search --onlyvisible --classname kivo 2>/dev/null"));
    for (std::string id; std::getline(ids, id);) {
      const std::string type = Capture("xprop -id " + id + " _NET_WM_WINDOW_TYPE");
      if (type.find("TOOLTIP") != std::string::npos || type.find("TYPE_OVERRIDE") != std::string::npos)
        continue;
      if (Capture("xwininfo -id " + id).find("Override Redirect State: yes") != std::string::npos)
        return true;
    }
    return false;
  }
  // A digest of what the window shows now.
  static std::string Shot(const std::string& window) {
    return FirstLine(Capture("import -silent -window " + window + " rgb:- 2>/dev/null | md5sum"));
  }
  // Whether the window's picture changes within the limit; `seen` says what
  // was looked at.
  static bool Changes(const std::string& window, std::chrono::milliseconds limit, std::string& seen) {
    const std::string first = Shot(window);
    int looks = 0;
    std::string last;
    const bool changed = WaitUntil(
        [&] {
          ++looks;
          last = Shot(window);
          return last != first;
        },
        limit);
    seen = "window " + window + ": picture " + first + " at first, " + last + " at the last of " +
           std::to_string(looks) + " looks";
    return changed;
  }
  // The utility's shown windows with their types, for a failure message.
  static std::string Menus() {
    std::string text = "\nthe utility's shown windows:\n";
    std::istringstream ids(Capture("xdotool search --onlyvisible --classname kivo 2>/dev/null"));
    for (std::string id; std::getline(ids, id);) {
      text += "  " + id + " " + FirstLine(Capture("xprop -id " + id + " _NET_WM_WINDOW_TYPE 2>&1")) + ", " +
              (Capture("xwininfo -id " + id).find("Override Redirect State: yes") != std::string::npos
                   ? "override-redirect"
                   : "managed") +
              "\n";
    }
    return text;
  }
  static std::string PanelWindow() {
    return FirstLine(Capture("xdotool search --classname panel 2>/dev/null"));
  }
  void Alarm() {
    ASSERT_EQ(Ctl("aen 0 9 1"), 0) << Capture(Bin("emulator/zelka-emulator") + " ctl aen 0 9 1 2>&1");
    ASSERT_TRUE(WaitForWindow(kAlertTitle, 30s)) << "no alert window within 30 s" << Seen();
  }
  void Acknowledge() {
    // Typed into the active window: a key sent to a window directly can
    // stay pressed in the server.
    EXPECT_EQ(std::system(("xdotool windowactivate --sync " + Visible(kAlertTitle) + " key Return").c_str()),
              0);
    ASSERT_TRUE(WaitUntil([&] { return Visible(kAlertTitle).empty(); }, 10s))
        << "Return did not close the alert window within 10 s" << Seen();
  }
};

// The menu entry while the autostarted utility sits in the tray: a second
// start ends, silently without "-max", and with it the first shows its main
// window, raised and active.
TEST_F(DesktopSessionTest, SecondStartWithMaxShowsTheMainWindowOfTheFirst) {
  StartHidden();
  ASSERT_TRUE(WaitUntil([&] { return !Capture("ls '" + root_.string() + "' | grep command$").empty(); }, 30s))
      << "no command socket within 30 s in " << root_ << ": " << Capture("ls -l '" + root_.string() + "'")
      << Seen();
  EXPECT_EQ(WaitForExit(StartKivo(), 30s), 0) << Seen();
  EXPECT_EQ(VisibleWindows(kMainTitle), "") << Seen();
  EXPECT_EQ(WaitForExit(StartKivo({"-max"}), 30s), 0) << Seen();
  ASSERT_TRUE(WaitForWindow(kMainTitle, 20s)) << "the main window is not shown within 20 s" << Seen();
  const std::string main = Visible(kMainTitle);
  EXPECT_TRUE(WaitUntil([&] { return FirstLine(Capture("xdotool getactivewindow")) == main; }, 10s))
      << "the main window " << main << " is not active within 10 s" << Seen();
  const std::string geometry = Capture("xdotool getwindowgeometry " + main);
  int x = -1, y = -1;
  ASSERT_EQ(std::sscanf(geometry.substr(geometry.find("Position:")).c_str(), "Position: %d,%d", &x, &y), 2);
  EXPECT_TRUE(x >= 0 && x < 1280 && y >= 0 && y < 900) << geometry;
}

// The help window opens on the screen, whole, and Esc or Ctrl+W close it.
TEST_F(DesktopSessionTest, HelpWindowFitsTheScreenAndEscOrCtrlWClosesIt) {
  const std::string help = "Kivo Disk Management Utility Help";
  StartKivo({"-max"});
  ASSERT_TRUE(WaitForWindow(kMainTitle, 45s)) << "the main window is not shown within 45 s" << Seen();
  for (const char* keys : {"Escape", "ctrl+w"}) {
    ASSERT_EQ(Command(57670), 0) << Seen();  // Help > Help Topics
    ASSERT_TRUE(WaitForWindow(help, 20s)) << "no help window within 20 s" << Seen();
    const std::string window = Visible(help);
    const std::string info = Capture("xwininfo -id " + window);
    int x = -1, y = -1, width = 0, height = 0;
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
      std::sscanf(line.c_str(), "  Absolute upper-left X: %d", &x);
      std::sscanf(line.c_str(), "  Absolute upper-left Y: %d", &y);
      std::sscanf(line.c_str(), "  Width: %d", &width);
      std::sscanf(line.c_str(), "  Height: %d", &height);
    }
    EXPECT_TRUE(x >= 0 && y >= 0 && x + width <= 1280 && y + height <= 900) << info;
    EXPECT_EQ(std::system(("xdotool windowactivate --sync " + window + " key " + keys).c_str()), 0);
    EXPECT_TRUE(WaitUntil([&] { return Visible(help).empty(); }, 10s))
        << keys << " did not close the help window within 10 s" << Seen();
  }
}

TEST_F(DesktopSessionTest, ActiveAlarmWindowFlashesAndTheTrayIconBlinksUntilOk) {
  StartTray();
  StartHidden();
  ASSERT_TRUE(WaitUntil([] { return TrayIconCentre().first >= 0; }, 30s))
      << "no icon in the tray within 30 s: " << Tail(Capture("xwininfo -root -tree 2>&1"), 4000) << Seen();
  Alarm();
  const std::string alert = Visible(kAlertTitle);
  EXPECT_EQ(FirstLine(Capture("xdotool getactivewindow")), alert)
      << "the alert window activates itself" << Seen();
  // The window manager ignores the attention hint of the active window: the
  // window itself shows the flash, every 500 ms.
  std::string seen;
  EXPECT_TRUE(Changes(alert, 2s, seen)) << "nothing changes in the active alert window: " << seen;
  EXPECT_TRUE(Changes(PanelWindow(), 2s, seen)) << "the tray icon does not blink: " << seen;
  Acknowledge();
  EXPECT_FALSE(Changes(PanelWindow(), 1500ms, seen)) << "the tray icon blinks on after OK: " << seen;
}

TEST_F(DesktopSessionTest, TrayMenuOpensOnReleaseAndDoubleClickOpensTheAlertWindow) {
  StartTray();
  StartHidden();
  std::pair<int, int> icon;
  ASSERT_TRUE(WaitUntil([&] { return (icon = TrayIconCentre()).first >= 0; }, 30s))
      << "no icon in the tray within 30 s: " << Tail(Capture("xwininfo -root -tree 2>&1"), 4000) << Seen();
  const std::string at = std::to_string(icon.first) + " " + std::to_string(icon.second);
  EXPECT_EQ(std::system(("xdotool mousemove " + at + " mousedown 3").c_str()), 0);
  EXPECT_TRUE(Holds([] { return !MenuShown(); }, 1s)) << "a menu opened on the press" << Menus() << Seen();
  EXPECT_EQ(std::system("xdotool mouseup 3"), 0);
  ASSERT_TRUE(WaitUntil(MenuShown, 10s)) << "no menu within 10 s of the release" << Menus() << Seen();
  EXPECT_EQ(std::system("xdotool key v"), 0);  // "&View Alarms"
  ASSERT_TRUE(WaitUntil([&] { return !Visible(kAlertTitle).empty(); }, 10s))
      << "View Alarms did not show the alert window within 10 s" << Seen();
  Acknowledge();
  EXPECT_EQ(std::system(("xdotool mousemove " + at + " click --repeat 2 --delay 80 1").c_str()), 0);
  EXPECT_TRUE(WaitUntil([&] { return !Visible(kAlertTitle).empty(); }, 10s))
      << "a double click on the icon did not show the alert window within 10 s" << Seen();
}

TEST_F(DesktopSessionTest, ATrayThatStartsLaterGetsTheIcon) {
  StartHidden();
  StartTray();  // a panel that starts late at login
  EXPECT_TRUE(WaitUntil([] { return TrayIconCentre().first >= 0; }, 30s))
      << "no icon in the late tray within 30 s: " << Tail(Capture("xwininfo -root -tree 2>&1"), 4000)
      << Seen();
}

// The managed windows, bottom to top.
std::string Stacking() {
  return FirstLine(Capture("xprop -root _NET_CLIENT_LIST_STACKING 2>&1"));
}

// Whether a window is stacked above another (_NET_CLIENT_LIST_STACKING
// lists the managed windows bottom to top).
bool StackedAbove(const std::string& upper, const std::string& lower) {
  const std::string stacking = Capture("xprop -root _NET_CLIENT_LIST_STACKING");
  auto position = [&](const std::string& id) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lx", std::stoul(id));
    return stacking.find(hex);
  };
  return position(upper) != std::string::npos && position(lower) != std::string::npos &&
         position(upper) > position(lower);
}

TEST_F(DesktopSessionTest, BoxesOpenedWhileTheAlarmShowsComeOutAboveIt) {
  StartHidden();
  Alarm();
  const std::string alert = Visible(kAlertTitle);
  ASSERT_EQ(Command(32778), 0) << Seen();  // e-mail setup
  ASSERT_TRUE(WaitUntil([&] { return !Visible("Email Setup").empty(); }, 30s))
      << "no Email Setup within 30 s" << Seen();
  const std::string setup = Visible("Email Setup");
  EXPECT_TRUE(WaitUntil([&] { return StackedAbove(setup, alert); }, 5s))
      << "the dialog " << setup << " is beneath the alert window " << alert << ": " << Stacking() << Seen();
  EXPECT_EQ(FirstLine(Capture("xdotool getactivewindow")), setup) << "the dialog has the keyboard" << Seen();
  EXPECT_EQ(std::system(("xdotool windowactivate --sync " + setup +
                         " type --delay 2 'mail.kivo-test.invalid'; xdotool key Tab; xdotool type --delay 2 "
                         "'ops@example.org';"
                         " xdotool key Return")
                            .c_str()),
            0);
  // "Send a test message?" over the hidden main window.
  const std::string caption = "Kivo Disk Managenemt Utility";
  ASSERT_TRUE(WaitUntil([&] { return !Visible(caption).empty(); }, 30s))
      << "no test question within 30 s" << Seen();
  const std::string box = Visible(caption);
  EXPECT_TRUE(WaitUntil([&] { return StackedAbove(box, alert); }, 5s))
      << "the box " << box << " is beneath the alert window " << alert << ": " << Stacking() << Seen();
  EXPECT_EQ(FirstLine(Capture("xdotool getactivewindow")), box) << "the box has the keyboard" << Seen();
  EXPECT_EQ(std::system(("xdotool windowactivate --sync " + box + " key alt+n").c_str()), 0);
}

}  // namespace
}  // namespace kivo::test
