// The tray icon on a StatusNotifierItem tray, seen from the host's side over a
// private bus: the item's names and menu, NeedsAttention during an alarm, a
// tray that starts after the utility (or again), and host calls that are
// answered at once whatever the command does.
#include "ui/StatusNotifierItem.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QTest>

#include "PrivateBus.h"
#include "ui/DBusTrayTypes.h"
#include "ui/TrayIcon.h"

namespace kivo::test {
namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

class RecordingOwner : public TrayOwner {
 public:
  void ShowAlert(const std::string& line) override { alerts.push_back(line); }
  void DispatchCommand(int id) override {
    commands.push_back(id);
    if (duringCommand) duringCommand();
  }
  void OpenMainWindow() override { ++mainWindowOpened; }
  std::vector<std::string> alerts;
  std::vector<int> commands;
  int mainWindowOpened = 0;
  std::function<void()> duringCommand;
};

class StatusNotifierItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bus_.Start()) GTEST_SKIP() << "no private bus";
    app_ = bus_.Connect(QStringLiteral("app"));
    desktop_ = bus_.Connect(QStringLiteral("desktop"));
    ASSERT_TRUE(app_.isConnected());
    ASSERT_TRUE(desktop_.isConnected());
  }
  void TearDown() override { tray_.reset(); }

  TrayIcon& AddTray() {
    tray_ = std::make_unique<TrayIcon>(owner_, nullptr, app_);
    tray_->popup = [](QMenu&, const QPoint&) -> QAction* { return nullptr; };
    tray_->AddTrayIcon(TrayIcon::kTrayIconId, QIcon(QStringLiteral(":/kivo/128.png")),
                       "Kivo Disk Management Utility");
    return *tray_;
  }
  // The item's property as the host reads it.
  QVariant Item(const char* property) {
    return ReadProperty(desktop_, tray_->Item()->ServiceName(), QStringLiteral("/StatusNotifierItem"),
                        kItemInterface, QString::fromLatin1(property));
  }
  bool WaitForRegistration(FakeWatcher& watcher, int count = 1) {
    return QTest::qWaitFor([&] { return watcher.items.size() >= count && tray_->HostChecked(); }, 10000);
  }

  PrivateBus bus_;
  QDBusConnection app_{QString()};
  QDBusConnection desktop_{QString()};
  RecordingOwner owner_;
  std::unique_ptr<TrayIcon> tray_;
};

TEST_F(StatusNotifierItemTest, ATrayHostSeesTheProgramByNameWithItsMenuOnTheBus) {
  FakeWatcher watcher(desktop_, true);
  TrayIcon& tray = AddTray();
  ASSERT_TRUE(WaitForRegistration(watcher));
  EXPECT_EQ(watcher.items, QStringList{tray.Item()->ServiceName()});
  EXPECT_EQ(watcher.senders, QStringList{app_.baseService()});
  EXPECT_TRUE(tray.HasHost());
  EXPECT_TRUE(tray.OnStatusNotifierHost());
  EXPECT_EQ(Item("Id").toString(), QStringLiteral("Kivo Disk Management Utility"));
  EXPECT_EQ(Item("Title").toString(), QStringLiteral("Kivo Disk Management Utility"));
  EXPECT_EQ(Item("Status").toString(), QStringLiteral("Active"));
  EXPECT_EQ(Item("Category").toString(), QStringLiteral("ApplicationStatus"));
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(Item("Menu")).path(), QStringLiteral("/MenuBar"));
  EXPECT_FALSE(Item("ItemIsMenu").toBool());
  const SniIconPixmapList icon = qdbus_cast<SniIconPixmapList>(Item("IconPixmap"));
  ASSERT_FALSE(icon.isEmpty());
  EXPECT_EQ(icon.first().bytes.size(), icon.first().width * icon.first().height * 4);
  EXPECT_FALSE(qdbus_cast<SniIconPixmapList>(Item("AttentionIconPixmap")).isEmpty());

  // The host builds its own popup from the menu's layout.
  const QDBusMessage layoutReply =
      CallMethod(desktop_, tray.Item()->ServiceName(), QStringLiteral("/MenuBar"), kMenuInterface,
                 QStringLiteral("GetLayout"), {0, -1, QStringList()});
  ASSERT_EQ(layoutReply.type(), QDBusMessage::ReplyMessage) << layoutReply.errorMessage().toStdString();
  const DBusMenuLayoutItem root = qdbus_cast<DBusMenuLayoutItem>(layoutReply.arguments().at(1));
  std::vector<std::string> shown;
  for (const DBusMenuLayoutItem& child : root.children) {
    shown.push_back(child.properties.value(QStringLiteral("type")).toString() == QStringLiteral("separator")
                        ? "---"
                        : child.properties.value(QStringLiteral("label")).toString().toStdString());
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"_View Alarms", "_About Kivo...", "---", "E_xit"}));
}

TEST_F(StatusNotifierItemTest, MenuClicksReachTheOwnerAfterTheHostsCallIsAnswered) {
  FakeWatcher watcher(desktop_, true);
  TrayIcon& tray = AddTray();
  ASSERT_TRUE(WaitForRegistration(watcher));
  // A command may run a modal box for as long as the user likes; the host
  // must have its answer meanwhile.
  bool answered = false;
  bool answeredDuringCommand = false;
  owner_.duringCommand = [&] { answeredDuringCommand = QTest::qWaitFor([&] { return answered; }, 5000); };
  QDBusMessage click = QDBusMessage::createMethodCall(tray.Item()->ServiceName(), QStringLiteral("/MenuBar"),
                                                      kMenuInterface, QStringLiteral("Event"));
  click << 4 << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0)) << 0u;
  QDBusPendingCallWatcher pending(desktop_.asyncCall(click, 10000));
  QObject::connect(&pending, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return !owner_.commands.empty(); }, 10000));
  EXPECT_EQ(owner_.commands, std::vector<int>{TrayIcon::kExitFromTray});
  EXPECT_TRUE(answeredDuringCommand) << "the host waited for the command";
  EXPECT_FALSE(pending.isError()) << pending.error().message().toStdString();
}

TEST_F(StatusNotifierItemTest, ActivateOpensTheAlertWindowAndContextMenuOpensNoPopupWindow) {
  FakeWatcher watcher(desktop_, true);
  TrayIcon& tray = AddTray();
  ASSERT_TRUE(WaitForRegistration(watcher));
  int popups = 0;
  tray.popup = [&](QMenu&, const QPoint&) -> QAction* {
    ++popups;
    return nullptr;
  };
  const QString service = tray.Item()->ServiceName();
  EXPECT_EQ(CallMethod(desktop_, service, QStringLiteral("/StatusNotifierItem"), kItemInterface,
                       QStringLiteral("Activate"), {10, 10})
                .type(),
            QDBusMessage::ReplyMessage);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !owner_.alerts.empty(); }, 5000));
  EXPECT_EQ(owner_.alerts, std::vector<std::string>{""});
  // Off X11 no popup can be placed at the icon: the main window comes.
  EXPECT_EQ(CallMethod(desktop_, service, QStringLiteral("/StatusNotifierItem"), kItemInterface,
                       QStringLiteral("ContextMenu"), {10, 10})
                .type(),
            QDBusMessage::ReplyMessage);
  ASSERT_TRUE(QTest::qWaitFor([&] { return owner_.mainWindowOpened == 1; }, 5000));
  EXPECT_EQ(popups, 0);
}

TEST_F(StatusNotifierItemTest, AnAlarmMakesTheItemNeedAttentionUntilAcknowledged) {
  FakeWatcher watcher(desktop_, true);
  TrayIcon& tray = AddTray();
  ASSERT_TRUE(WaitForRegistration(watcher));
  StringRecorder recorder;
  ASSERT_TRUE(desktop_.connect(tray.Item()->ServiceName(), QStringLiteral("/StatusNotifierItem"),
                               kItemInterface, QStringLiteral("NewStatus"), &recorder,
                               SLOT(Record(QString))));
  tray.SetAlarm(true, "TIME: Tue Dec 08 06:01:02 2026 MESSAGE: Drive timeout.\r\n");
  EXPECT_EQ(Item("Status").toString(), QStringLiteral("NeedsAttention"));
  EXPECT_EQ(qdbus_cast<SniToolTip>(Item("ToolTip")).text,
            QStringLiteral("TIME: Tue Dec 08 06:01:02 2026 MESSAGE: Drive timeout."));
  tray.SetAlarm(true, "TIME: Tue Dec 08 06:01:03 2026 MESSAGE: Drive error.\r\n");
  tray.SetAlarm(true, "");  // the alert window opened again
  EXPECT_EQ(qdbus_cast<SniToolTip>(Item("ToolTip")).text,
            QStringLiteral("TIME: Tue Dec 08 06:01:03 2026 MESSAGE: Drive error."));
  tray.SetAlarm(false, "");
  EXPECT_EQ(Item("Status").toString(), QStringLiteral("Active"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.values.size() == 2; }, 5000));
  EXPECT_EQ(recorder.values, (QStringList{QStringLiteral("NeedsAttention"), QStringLiteral("Active")}));
}

TEST_F(StatusNotifierItemTest, ATrayThatStartsLaterOrAgainGetsTheIcon) {
  TrayIcon& tray = AddTray();
  ASSERT_TRUE(QTest::qWaitFor([&] { return tray.HostChecked(); }, 10000));
  EXPECT_FALSE(tray.HasHost());
  {
    FakeWatcher watcher(desktop_, false);
    ASSERT_TRUE(WaitForRegistration(watcher));
    EXPECT_FALSE(tray.HasHost()) << "a watcher without a host shows nothing";
    watcher.SetHost(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tray.HasHost(); }, 10000));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return !tray.HasHost(); }, 10000)) << "the tray went";
  FakeWatcher again(desktop_, true);
  EXPECT_TRUE(WaitForRegistration(again));
  EXPECT_TRUE(QTest::qWaitFor([&] { return tray.HasHost(); }, 10000));
}

TEST_F(StatusNotifierItemTest, RemovingTheIconTakesTheItemOffTheBus) {
  FakeWatcher watcher(desktop_, true);
  TrayIcon& tray = AddTray();
  ASSERT_TRUE(WaitForRegistration(watcher));
  const QString service = tray.Item()->ServiceName();
  ASSERT_TRUE(desktop_.interface()->isServiceRegistered(service).value());
  tray.RemoveTrayIcon(TrayIcon::kTrayIconId);
  EXPECT_FALSE(desktop_.interface()->isServiceRegistered(service).value());
}

}  // namespace
}  // namespace kivo::test
