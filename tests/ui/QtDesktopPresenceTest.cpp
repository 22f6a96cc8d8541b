// What the main window shows on the desktop beside its windows, seen from the
// desktop's side of a private bus: a notification for each alarm (critical for
// errors, replaced by the next event, withdrawn by OK, its OK and Show
// actions), the sound hint where the alarm's tone cannot be heard, no error
// without a notification server, and the note that the utility is watching
// on a desktop without a tray.
#include "ui/QtDesktopPresence.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "MainDialogFixture.h"
#include "PrivateBus.h"
#include "monitor/EventCatalogue.h"
#include "ui/StatusNotifierItem.h"

namespace kivo::test {
namespace {

constexpr char kWatchingSummary[] = "Kivo Disk Management Utility";

class QtDesktopPresenceTest : public MainDialogTest {
 protected:
  void SetUp() override {
    MainDialogTest::SetUp();
    if (!privateBus_.Start()) GTEST_SKIP() << "no private bus";
    app_ = privateBus_.Connect(QStringLiteral("app"));
    desktop_ = privateBus_.Connect(QStringLiteral("desktop"));
    bus_ = app_;
  }

  // An event of the monitor thread, handed over as it does.
  void Event(unsigned code, unsigned unit = 0) {
    AddPending(DescribeEvent(clock_, code, unit, 2));
    dialog_->PostMonitorMessage(EventReady);
    Deliver();
  }
  bool WaitForNotices(FakeNotificationServer& server, std::size_t count) {
    return QTest::qWaitFor([&] { return server.notified.size() >= count; }, 10000);
  }
  // Every call the window's side sent before this one has reached the
  // desktop's side when it returns (one connection keeps its order).
  void Barrier() {
    CallMethod(app_, QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
               QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"), {});
    CallMethod(desktop_, QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
               QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"), {});
  }
  static std::string Body(const NotifyCall& call) { return call.body.toStdString(); }
  static int Urgency(const NotifyCall& call) {
    return call.hints.value(QStringLiteral("urgency")).value<uchar>();
  }

  PrivateBus privateBus_;
  QDBusConnection app_{QString()};
  QDBusConnection desktop_{QString()};
};

TEST_F(QtDesktopPresenceTest, EachAlarmNotifiesCriticalForErrorsAndTheNextEventReplacesIt) {
  FakeWatcher tray(desktop_, true);
  FakeNotificationServer server(desktop_);
  MainDialog& dialog = Open(1);
  Event(2);  // unit degraded: an error
  ASSERT_TRUE(WaitForNotices(server, 1));
  const NotifyCall first = server.notified[0];
  EXPECT_EQ(first.appName, QStringLiteral("Kivo Disk Management Utility"));
  EXPECT_EQ(first.replacesId, 0u);
  EXPECT_EQ(first.summary, QStringLiteral("Kivo - Event Notification Message"));
  std::string line = DescribeEvent(clock_, 2, 0, 2);
  std::string expected;
  for (char c : line) {
    if (c != '\r') expected += c;
  }
  while (!expected.empty() && expected.back() == '\n') expected.pop_back();
  EXPECT_EQ(Body(first), expected);
  EXPECT_EQ(Urgency(first), 2);
  EXPECT_EQ(first.hints.value(QStringLiteral("category")).toString(), QStringLiteral("device.error"));
  EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("kivo"));
  EXPECT_TRUE(first.hints.value(QStringLiteral("suppress-sound")).toBool()) << "the utility beeps itself";
  EXPECT_EQ(first.actions, (QStringList{"default", "Show", "ok", "OK", "show", "Show"}));
  EXPECT_EQ(first.expireTimeout, 0);

  Event(9, 1);  // drive timeout: a warning
  ASSERT_TRUE(WaitForNotices(server, 2));
  EXPECT_EQ(server.notified[1].replacesId, first.id) << "repeated events pile up";
  EXPECT_EQ(Urgency(server.notified[1]), 1);
  EXPECT_EQ(server.notified[1].hints.value(QStringLiteral("category")).toString(), QStringLiteral("device"));

  // OK in the alert window withdraws it; the next alarm has a new one.
  QTest::mouseClick(dialog.Alert()->findChild<QPushButton*>(QStringLiteral("control1")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !server.closed.empty(); }, 10000));
  EXPECT_EQ(server.closed, std::vector<uint>{first.id});
  Event(5);  // rebuild complete: information, still an alarm to see
  ASSERT_TRUE(WaitForNotices(server, 3));
  EXPECT_EQ(server.notified[2].replacesId, 0u);
  EXPECT_EQ(Urgency(server.notified[2]), 1);
}

TEST_F(QtDesktopPresenceTest, TheMonitoringErrorIsCriticalAndViewAlarmsSendsNothing) {
  FakeWatcher tray(desktop_, true);
  FakeNotificationServer server(desktop_);
  MainDialog& dialog = Open(1);
  AddPending("The Kivo service cannot be reached (6ba)", PendingErrorText());
  dialog.PostMonitorMessage(ErrorReady);
  Deliver();
  ASSERT_TRUE(WaitForNotices(server, 1));
  EXPECT_EQ(Urgency(server.notified[0]), 2);
  dialog.DispatchCommand(TrayIcon::kViewAlarms);
  Barrier();
  EXPECT_EQ(server.notified.size(), 1u) << "reopening the window is no news";
}

TEST_F(QtDesktopPresenceTest, NotificationOkAcknowledgesAndShowOpensTheAlertWithTheServersToken) {
  FakeWatcher tray(desktop_, true);
  FakeNotificationServer server(desktop_);
  MainDialog& dialog = Open(1);
  AlertDialog& alert = *dialog.Alert();
  Event(10, 3);
  ASSERT_TRUE(WaitForNotices(server, 1));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return dialog.Presence().Notifications().OpenId(DesktopNotice::Kind::kAlarm) != 0; }, 10000));
  EXPECT_TRUE(alert.isVisible());
  EXPECT_EQ(alert.Logic().AlarmStopped(), 0);
  server.Invoke(server.notified[0].id, QStringLiteral("ok"), QString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return alert.Logic().AlarmStopped() == 1; }, 10000));
  EXPECT_FALSE(alert.isVisible());
  EXPECT_EQ(tray.items.size(), 1);
  EXPECT_EQ(dialog.Tray().Item()->Status(), QStringLiteral("Active"));

  // Show: the window comes back, activated with the token the server
  // handed out for the click.
  Event(10, 3);
  ASSERT_TRUE(WaitForNotices(server, 2));
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return dialog.Presence().Notifications().OpenId(DesktopNotice::Kind::kAlarm) != 0; }, 10000));
  alert.hide();  // behind other windows, or on another workspace
  QByteArray tokenSeen;
  alert.Activation().request = [&](QWindow&) { tokenSeen = qgetenv("XDG_ACTIVATION_TOKEN"); };
  server.Invoke(server.notified[1].id, QStringLiteral("show"), QStringLiteral("desktop-token-7"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tokenSeen.isEmpty(); }, 10000));
  EXPECT_EQ(tokenSeen, QByteArray("desktop-token-7"));
  EXPECT_TRUE(alert.isVisible());
  EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN")) << "a token is used once";
}

TEST_F(QtDesktopPresenceTest, TheDesktopPlaysTheSoundWhereTheAlarmsToneCannotBeHeard) {
  FakeWatcher tray(desktop_, true);
  FakeNotificationServer server(desktop_);
  beeper_.audible = false;
  Open(1);
  Event(2);
  ASSERT_TRUE(WaitForNotices(server, 1));
  EXPECT_EQ(server.notified[0].hints.value(QStringLiteral("sound-name")).toString(), QStringLiteral("bell"));
  EXPECT_FALSE(server.notified[0].hints.contains(QStringLiteral("suppress-sound")));
  // With the audio off nobody is to hear it.
  AudioOffFlag = 1;
  Event(2);
  ASSERT_TRUE(WaitForNotices(server, 2));
  EXPECT_FALSE(server.notified[1].hints.contains(QStringLiteral("sound-name")));
  EXPECT_TRUE(server.notified[1].hints.value(QStringLiteral("suppress-sound")).toBool());
}

TEST_F(QtDesktopPresenceTest, WithoutANotificationServerAlarmsGoOnAndOneNoteGoesToStandardError) {
  FakeWatcher tray(desktop_, true);
  testing::internal::CaptureStderr();
  MainDialog& dialog = Open(1);
  Event(2);
  Event(9);
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.Presence().Notifications().Unavailable(); }, 10000));
  Event(2);
  Barrier();
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(dialog.Alert()->isVisible());
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(Count(errors, "kivo: no desktop notifications: "), 1) << errors;
  EXPECT_NE(errors.find("org.freedesktop.DBus.Error.ServiceUnknown"), std::string::npos) << errors;
}

TEST_F(QtDesktopPresenceTest, WithoutATrayTheUserIsToldOnceAtStartAndWhenClosingTheWindow) {
  FakeNotificationServer server(desktop_);
  MainDialog& dialog = Open(0);
  ASSERT_TRUE(WaitForNotices(server, 1));
  const NotifyCall note = server.notified[0];
  EXPECT_EQ(note.summary, QString::fromLatin1(kWatchingSummary));
  EXPECT_NE(Body(note).find("is watching the Zelka controllers"), std::string::npos) << Body(note);
  EXPECT_NE(Body(note).find("kivo -max"), std::string::npos) << Body(note);
  EXPECT_EQ(note.actions, (QStringList{"default", "Open", "open", "Open"}));
  EXPECT_EQ(Urgency(note), 1);
  Barrier();
  EXPECT_EQ(server.notified.size(), 1u) << "told once";

  dialog.close();  // the close box
  ASSERT_TRUE(WaitForNotices(server, 2));
  EXPECT_EQ(server.notified[1].summary, QString::fromLatin1(kWatchingSummary));
  EXPECT_EQ(server.notified[1].replacesId, note.id);
  EXPECT_FALSE(dialog.isVisible());

  // Its "Open" brings the main window back.
  QByteArray tokenSeen = "none";
  dialog.Activation().request = [&](QWindow&) { tokenSeen = qgetenv("XDG_ACTIVATION_TOKEN"); };
  server.Invoke(server.notified[1].id, QStringLiteral("open"), QStringLiteral("open-token"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return tokenSeen != "none"; }, 10000));
  EXPECT_EQ(tokenSeen, QByteArray("open-token"));
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(QtDesktopPresenceTest, WithATrayNobodyIsToldThatTheUtilityIsWatching) {
  FakeWatcher tray(desktop_, true);
  FakeNotificationServer server(desktop_);
  MainDialog& dialog = Open(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Tray().HostChecked(); }, 10000));
  EXPECT_TRUE(dialog.Tray().HasHost());
  dialog.close();
  Barrier();
  EXPECT_TRUE(server.notified.empty());
}

}  // namespace
}  // namespace kivo::test
