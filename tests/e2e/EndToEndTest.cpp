// The utility as a user meets it: emulator and kivo on a private X display,
// an injected event reaching the alert window and the report, the single
// instance, the service shutdown switch, and Exit sent as a command message.
#include <algorithm>

#include "SessionFixture.h"

namespace kivo::test {
namespace {

constexpr const char* kMainTitle = "Kivo Disk Management Utility";
constexpr const char* kAlertTitle = "Kivo - Event Notification Message";

TEST_F(EndToEndTest, EventReachesTheAlertWindowAndTheReport) {
  const pid_t kivo = StartKivo();
  // Started without "-max": the main window exists but is never seen.
  ASSERT_TRUE(
      WaitUntil([&] { return Capture("xwininfo -root -tree").find(kMainTitle) != std::string::npos; }, 45s))
      << "no main window, shown or hidden, within 45 s" << Seen();
  EXPECT_TRUE(
      Holds([&] { return VisibleWindows(kMainTitle).empty() && VisibleWindows(kAlertTitle).empty(); }, 500ms))
      << "a window of the utility shows without -max" << Seen();

  ASSERT_EQ(Ctl("aen 0 9 1"), 0);
  ASSERT_TRUE(WaitForWindow(kAlertTitle, 30s)) << "no alert window within 30 s" << Seen();
  // The line is in the report text: Snapshot writes it to data.txt.
  ASSERT_EQ(Command(32776), 0) << Seen();
  const fs::path data = root_ / "cwd" / "data.txt";
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(data).find("Drive timeout") != std::string::npos; }, 45s))
      << "data.txt lacks the event after 45 s: " << Tail(ReadFile(data)) << Seen();
  const std::string report = ReadFile(data);
  EXPECT_NE(report.find(" MESSAGE: Drive timeout encountered on unit 1 on controller ID:0.\r\n"),
            std::string::npos)
      << report;
  EXPECT_TRUE(Running(kivo));
}

TEST_F(EndToEndTest, SecondInstanceEndsAtOnceAndDoesNotStopTheService) {
  const pid_t first = StartKivo({"-max"});
  ASSERT_TRUE(WaitForWindow(kMainTitle, 45s)) << "the main window is not shown within 45 s" << Seen();
  const pid_t second = StartKivo({"-max"});
  EXPECT_EQ(WaitForExit(second, 45s), 0) << Seen();
  const pid_t shutdown = StartKivo({"-servershutdown"});
  EXPECT_EQ(WaitForExit(shutdown, 45s), 0) << Seen();
  EXPECT_TRUE(Holds([&] { return Running(emulatorPid_); }, 500ms))
      << "the service was asked to shut down: " << Tail(ReadFile(root_ / "emulator.log"));
  EXPECT_TRUE(Running(first)) << Seen();
  // Still one main window.
  std::string windows = VisibleWindows(kMainTitle);
  EXPECT_EQ(std::count(windows.begin(), windows.end(), '\n'), 1) << windows;
}

TEST_F(EndToEndTest, AnyWindowWithTheTitlePreventsTheStart) {
  if (!OnPath("xmessage")) GTEST_SKIP() << "xmessage is needed";
  Spawn({"xmessage", "-title", kMainTitle, "another program"}, root_ / "xmessage.log");
  ASSERT_TRUE(WaitForWindow(kMainTitle, 45s));
  const pid_t kivo = StartKivo({"-max"});
  EXPECT_EQ(WaitForExit(kivo, 45s), 0);
  // It ended at the check: no lock was taken, nothing was scanned.
  EXPECT_FALSE(fs::exists(root_ / ("Kivo Disk Management Utility (display " + display_ + ").lock")));
  EXPECT_NE(Calls().find("device calls: 0"), std::string::npos) << Calls();
}

TEST_F(EndToEndTest, OnlyTheExactTitleCounts) {
  if (!OnPath("xmessage")) GTEST_SKIP() << "xmessage is needed";
  Spawn({"xmessage", "-title", std::string(kMainTitle) + " (old)", "another program"},
        root_ / "xmessage.log");
  ASSERT_TRUE(WaitForWindow(std::string(kMainTitle) + " \\(old\\)", 45s));
  const pid_t kivo = StartKivo({"-max"});
  EXPECT_TRUE(WaitForWindow(kMainTitle, 45s));
  EXPECT_TRUE(Running(kivo));
}

TEST_F(EndToEndTest, EmailSetupByCommandStoresTheValuesAndReportsTheTest) {
  const pid_t kivo = StartKivo();
  ASSERT_TRUE(
      WaitUntil([&] { return Capture("xwininfo -root -tree").find(kMainTitle) != std::string::npos; }, 45s));
  ASSERT_EQ(Command(32778), 0);
  ASSERT_TRUE(WaitForWindow("Email Setup", 45s));
  const std::string dialog = VisibleWindows("Email Setup");
  EXPECT_EQ(std::system(("xdotool windowfocus --sync " + dialog.substr(0, dialog.find('\n')) +
                         " && xdotool type --delay 2 'mail.kivo-test.invalid' && xdotool key Tab && "
                         "xdotool type --delay 2 'ops@example.org' && xdotool key Tab && "
                         "xdotool type --delay 2 'kivo@example.org' && xdotool key Tab && "
                         "xdotool type --delay 2 'Kivo' && xdotool key Return")
                            .c_str()),
            0);
  // The values are stored before the question is asked.
  const std::string box = "Kivo Disk Managenemt Utility";
  ASSERT_TRUE(WaitForWindow(box, 45s));
  const std::string registry = ReadFile(root_ / "registry" / "HKEY_USERS.reg");
  EXPECT_NE(registry.find("\"Host\"=\"mail.kivo-test.invalid\""), std::string::npos) << registry;
  EXPECT_NE(registry.find("\"FromName\"=\"Kivo\""), std::string::npos) << registry;
  // Yes: the name does not resolve, so the test fails and says where to look.
  const std::string question = VisibleWindows(box);
  EXPECT_EQ(std::system(("xdotool windowfocus --sync " + question.substr(0, question.find('\n')) +
                         " && xdotool key alt+y")
                            .c_str()),
            0);
  const fs::path log = root_ / "cwd" / "emaillog.txt";
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(log); }, 45s));
  EXPECT_EQ(ReadFile(log).find("Email: Attempting to connect failed.  Error: 10022 "), 0u) << ReadFile(log);
  EXPECT_TRUE(WaitForWindow(box, 45s));  // "Connection failed. ..."
  EXPECT_TRUE(Running(kivo));
}

TEST_F(EndToEndTest, ServerShutdownWithoutAnInstanceStopsTheService) {
  const pid_t shutdown = StartKivo({"-servershutdown", "-max"});
  EXPECT_EQ(WaitForExit(shutdown, 45s), 0);
  // Procedure 1 ends the emulator's service side, and with it the emulator.
  EXPECT_EQ(WaitForExit(emulatorPid_, 45s), 0);
  EXPECT_TRUE(VisibleWindows(kMainTitle).empty());  // nothing was shown
}

TEST_F(EndToEndTest, ServerShutdownFromAShellWithoutADisplayStopsTheService) {
  // A remote session or a removal script: no display at all.
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  const pid_t shutdown = StartKivo({"-servershutdown"});
  EXPECT_EQ(WaitForExit(shutdown, 45s), 0) << ReadFile(root_ / "kivo.log");
  EXPECT_EQ(WaitForExit(emulatorPid_, 45s), 0);
}

TEST_F(EndToEndTest, ExitEndsTheProgramAndTheEmulatorSeesNoFurtherCalls) {
  const pid_t kivo = StartKivo({"-max", "-q"});
  ASSERT_TRUE(WaitForWindow(kMainTitle, 45s));
  // Let monitoring run a few passes (every 0.2 s at this time scale).
  const std::string before = Calls();
  ASSERT_TRUE(WaitUntil([&] { return Calls() != before; }, 45s)) << before;
  ASSERT_EQ(Command(32771), 0);
  EXPECT_EQ(WaitForExit(kivo, 45s), 0) << ReadFile(root_ / "kivo.log");
  const std::string after = Calls();
  std::string now;
  EXPECT_TRUE(Holds(
      [&] {
        now = Calls();
        return now == after;
      },
      1500ms))
      << "calls after Exit:\n"
      << after << "\nthen:\n"
      << now;
  EXPECT_TRUE(VisibleWindows(kMainTitle).empty());
  // The command channel went with the program.
  EXPECT_NE(Command(32771), 0);
  // "-q" switched the alarm off for that run only; the stored value is untouched.
  EXPECT_EQ(ReadFile(root_ / "registry" / "HKEY_USERS.reg").find("AudioOff"), std::string::npos);
}

// Usage and version are answered without a display (a shell on a server, an
// ssh session) and without starting the utility.
TEST(CommandLineTest, HelpAndVersionNeedNoDisplay) {
  const std::string kivo = BinaryDir() + "/src/app/kivo";
  struct Row {
    const char* argument;
    const char* expected;
  };
  for (const Row& row : {Row{"--help", "usage: kivo [-max] [-q] [-servershutdown]\n"},
                         Row{"-h", "usage: kivo"}, Row{"--version", "kivo 3."}}) {
    const std::string out = Capture("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + kivo + "' " +
                                    row.argument + "; echo \"status $?\"");
    EXPECT_EQ(out.rfind(row.expected, 0), 0u) << row.argument << ": " << out;
    EXPECT_NE(out.find("status 0\n"), std::string::npos) << row.argument << ": " << out;
  }
}

}  // namespace
}  // namespace kivo::test
