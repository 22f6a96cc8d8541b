// The main window over an in-process emulated machine: the controller box,
// the unit list, the menus and commands, hiding, the monitor hand-over and
// the exit path.
#include "ui/MainDialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "MainDialogFixture.h"
#include "UiTestSupport.h"
#include "emulator/InProcessDeviceIo.h"
#include "emulator/World.h"
#include "emulator/WorldEvents.h"
#include "emulator/posix/ServiceServer.h"
#include "mail/SettingsStore.h"
#include "monitor/MessageLock.h"
#include "monitor/PendingText.h"
#include "platform/HostFacts.h"
#include "report/DiskReport.h"
#include "report/InventoryScan.h"
#include "report/ReportText.h"
#include "support/FakeClock.h"
#include "support/HostDoubles.h"
#include "ui/AboutDialog.h"
#include "ui/AlertDialog.h"
#include "ui/DesktopServices.h"
#include "ui/DialogUnits.h"
#include "ui/EmailSetupDialog.h"

namespace kivo::test {
namespace {

TEST_F(MainDialogTest, WindowCaptionMenusAndButtons) {
  MainDialog& dialog = Open();
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Kivo Disk Management Utility");
  EXPECT_FALSE(dialog.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  std::vector<std::string> popups;
  for (QAction* top : dialog.MenuBar()->actions()) popups.push_back(top->text().toStdString());
  EXPECT_EQ(popups, (std::vector<std::string>{"&File", "&View", "&Help"}));
  struct Item {
    int command;
    const char* text;
  };
  const Item items[] = {{32772, "&Return to System Tray"},
                        {32776, "&Snapshot"},
                        {32780, "&Copy to Clipboard"},
                        {32771, "E&xit"},
                        {32774, "&Event Log"},
                        {32785, "&Audio Off"},
                        {57670, "&Help Topics..."},
                        {32773, "&About Kivo..."}};
  for (const Item& item : items) {
    QAction* action = dialog.ActionFor(item.command);
    ASSERT_NE(action, nullptr) << item.command;
    EXPECT_EQ(action->text().toStdString(), item.text);
  }
  EXPECT_FALSE(dialog.ActionFor(32774)->isEnabled()) << "Event Log is greyed";
  EXPECT_TRUE(dialog.ActionFor(32785)->isCheckable());
  EXPECT_FALSE(dialog.ActionFor(32785)->isChecked());
  auto* update = dialog.findChild<QPushButton*>(QStringLiteral("control1010"));
  ASSERT_NE(update, nullptr);
  EXPECT_EQ(update->text().toStdString(), "Update");
  EXPECT_TRUE(update->isDefault());
  EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("control1027"))->text().toStdString(),
            "Return to Tray");
  EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("control1036"))->isVisible());
  // The notification-area icon carries the program's name as its tip.
  EXPECT_EQ(dialog.Tray().Tip(), "Kivo Disk Management Utility");
}

TEST_F(MainDialogTest, ControllerBoxListsIdsInScanOrderAndSecondChoiceShowsIdTen) {
  MainDialog& dialog = Open();
  EXPECT_EQ(BoxLines(), (std::vector<std::string>{"Controller SCSI ID:2", "Controller SCSI ID:10"}));
  EXPECT_EQ(dialog.ControllerBox()->currentIndex(), 0);
  EXPECT_EQ(dialog.Model().ControllerTotal(), 2);
  EXPECT_EQ(Control(1009), world_.controllers[0].versions.model);
  EXPECT_EQ(Control(1003), world_.controllers[0].versions.firmware);

  dialog.ControllerBox()->setCurrentIndex(1);  // as the user's choice
  EXPECT_EQ(dialog.Model().SelectedRow(), 1);
  EXPECT_EQ(dialog.ControllerBox()->currentIndex(), 1);
  EXPECT_EQ(Control(1009), world_.controllers[1].versions.model);
  EXPECT_EQ(Control(1003), world_.controllers[1].versions.firmware);
  EXPECT_EQ(Control(1037), "");
  EXPECT_EQ(Control(1035), MachineInfo().ComputerName());
}

TEST_F(MainDialogTest, NoControllerShowsTheSingleLineAndStartsNoMonitor) {
  world_.controllers.clear();
  MainDialog& dialog = Open();
  EXPECT_EQ(BoxLines(), std::vector<std::string>{"No Zelka Controller present"});
  EXPECT_EQ(dialog.ControllerBox()->currentIndex(), 0);
  EXPECT_EQ(dialog.UnitList()->topLevelItemCount(), 0);
  EXPECT_FALSE(dialog.Model().MonitorRunning());
  EXPECT_FALSE(MessageLock::Ready());
}

TEST_F(MainDialogTest, MonitorStartsWhenControllersAreFound) {
  MainDialog& dialog = Open();
  EXPECT_TRUE(dialog.Model().MonitorRunning());
  EXPECT_TRUE(MessageLock::Ready());
  EXPECT_TRUE(monitorClock_.WaitForSleepers(1));
  EXPECT_EQ(monitorClock_.Sleeps().front(), 90000u);
}

TEST_F(MainDialogTest, UnitListColumnsAndRowIcons) {
  MainDialog& dialog = Open();
  QTreeWidget* list = dialog.UnitList();
  ASSERT_EQ(list->columnCount(), 4);
  EXPECT_EQ(list->headerItem()->text(0).toStdString(), "Unit");
  EXPECT_EQ(list->headerItem()->text(1).toStdString(), "Type");
  EXPECT_EQ(list->headerItem()->text(2).toStdString(), "Size");
  EXPECT_EQ(list->headerItem()->text(3).toStdString(), "Status");
  // The room inside the frame and a vertical scroll bar.
  const int w = list->frameGeometry().width() - 2 * list->frameWidth() -
                list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
  EXPECT_EQ(list->columnWidth(0), w / 4);
  EXPECT_EQ(list->columnWidth(1), w * 3 / 8);
  EXPECT_EQ(list->columnWidth(2), w / 8);
  EXPECT_EQ(list->columnWidth(3), w / 4);
  EXPECT_EQ(list->topLevelItemCount(), dialog.Model().Controllers()[0].rowCount);

  // Rows as a scan could leave them.
  ControllerInfo& record = dialog.Model().Controllers()[0];
  struct Case {
    int kind;
    int isArrayUnit;
    const char* status;
    int image;
  };
  const Case cases[] = {
      {1, 1, "Degraded", 3}, {1, 1, "Incomplete", 3}, {1, 0, "Error", 4}, {1, 0, "Not in Service", 4},
      {1, 0, "OK", 2},       {6, 0, "Degraded", 6},   {6, 0, "OK", 5},    {0, 0, "Degraded", 0},
      {1, 1, "OK", 1}};
  int k = 0;
  for (const Case& c : cases) {
    DisplayRow& row = record.Rows()[k++];
    row = DisplayRow{};
    row.kind = c.kind;
    row.isArrayUnit = c.isArrayUnit;
    std::strcpy(row.statusText.data(), c.status);
    std::snprintf(row.nameText.data(), row.nameText.size(), "Row %d", k);
  }
  record.rowCount = k;
  dialog.Model().ShowController(0, 0);
  ASSERT_EQ(list->topLevelItemCount(), k);
  for (int i = 0; i < k; ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    EXPECT_EQ(item->data(0, Qt::UserRole).toInt(), cases[i].image) << cases[i].status;
    EXPECT_EQ(item->text(3).toStdString(), cases[i].status);
    EXPECT_EQ(item->text(0).toStdString(), "Row " + std::to_string(i + 1)) << "rows stay in table order";
    EXPECT_FALSE(item->icon(0).isNull());
  }
}

TEST_F(MainDialogTest, RowCountBeyondTheTableIsNotRead) {
  MainDialog& dialog = Open();
  dialog.Model().Controllers()[0].rowCount = 1000;
  dialog.Model().ShowController(0, 0);
  EXPECT_EQ(dialog.UnitList()->topLevelItemCount(), kDisplayRows);
}

// Controller 10 (the second of the default world) has more rows than the
// list shows: a vertical scroll bar, and no horizontal one over the last row.
// The logo stays inside its frame.
TEST_F(MainDialogTest, UnitListNeedsNoHorizontalScrollBarAndTheLogoKeepsInItsFrame) {
  MainDialog& dialog = Open();
  dialog.ControllerBox()->setCurrentIndex(1);
  QTreeWidget* list = dialog.UnitList();
  ASSERT_TRUE(QTest::qWaitFor([&] { return list->verticalScrollBar()->isVisible(); }, 2000));
  EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
  const QWidget* logo = dialog.findChild<QWidget*>(QStringLiteral("logo147"));
  ASSERT_NE(logo, nullptr);
  const auto* frame = qobject_cast<const QFrame*>(logo->parentWidget());
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->contentsRect().contains(logo->geometry())) << "the logo covers the frame's lines";
  EXPECT_FALSE(logo->geometry().isEmpty());
}

TEST_F(MainDialogTest, ColumnsKeepTheirFirstWidths) {
  MainDialog& dialog = Open();
  const int first = dialog.UnitList()->columnWidth(1);
  dialog.UnitList()->resize(dialog.UnitList()->width() / 2, dialog.UnitList()->height());
  dialog.DispatchCommand(1010);
  EXPECT_EQ(dialog.UnitList()->columnWidth(1), first);
}

TEST_F(MainDialogTest, EnterPressesUpdateWhichRescansAndShowsTheTimeAnew) {
  MainDialog& dialog = Open();
  const std::string before = Control(1008);
  clock_.Advance(61000);
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_NE(Control(1008), before);
  EXPECT_EQ(Control(1008), MachineInfo().TimeText());
  EXPECT_TRUE(dialog.isVisible()) << "Enter never ends the window";
  EXPECT_FALSE(dialog.Model().Exited());
}

TEST_F(MainDialogTest, CloseBoxEscapeAndReturnToTrayOnlyHide) {
  MainDialog& dialog = Open();
  ASSERT_TRUE(dialog.isVisible());
  dialog.close();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(dialog.Model().Exited());
  EXPECT_TRUE(dialog.Model().MonitorRunning());

  dialog.show();
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(dialog.Model().Exited());

  dialog.show();
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("control1027")), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());

  dialog.show();
  dialog.ActionFor(32772)->trigger();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(dialog.Model().Exited());
}

TEST_F(MainDialogTest, StartHiddenMovesOffScreenThenHideRequestHides) {
  MainDialog& dialog = Open(1);
  EXPECT_GT(dialog.x(), 0);
  EXPECT_EQ(dialog.y(), 0);
  EXPECT_EQ(dialog.StartHidden(), 1);
  EXPECT_FALSE(dialog.updatesEnabled()) << "while it starts hidden the window paints nothing";
  dialog.show();  // the modal run shows it
  Deliver();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.StartHidden(), 0);
  EXPECT_TRUE(dialog.updatesEnabled());
}

TEST_F(MainDialogTest, ViewAlarmsAndTrayDoubleClickShowTheAlertWindow) {
  MainDialog& dialog = Open();
  dialog.DispatchCommand(201);
  EXPECT_TRUE(dialog.Alert()->isVisible());
  EXPECT_EQ(dialog.Alert()->Logic().Message(), "");
  EXPECT_EQ(dialog.Alert()->Logic().AlarmStopped(), 0);
  dialog.Alert()->Acknowledge();
  dialog.hide();
  dialog.WindowMessage(1025, 128, 0x0203);
  EXPECT_TRUE(dialog.Alert()->isVisible());
  EXPECT_FALSE(dialog.isVisible()) << "the tray opens the alert window, never the main window";
}

TEST_F(MainDialogTest, UnacknowledgedAlarmFlashesInTheWindowAndTheTrayUntilOk) {
  MainDialog& dialog = Open();
  AlertDialog& alert = *dialog.Alert();
  EXPECT_EQ(alert.windowIcon().cacheKey(), dialog.AppIcon().cacheKey());
  dialog.ShowAlert("TIME: Tue Dec 08 10:00:00 2026 MESSAGE: Drive timeout\r\n");
  // Something the user sees changes at every tick, active window or not.
  QImage previous = alert.grab().toImage();
  for (int tick = 0; tick < 4; ++tick) {
    alert.FlashTick();
    const QImage now = alert.grab().toImage();
    EXPECT_NE(now, previous) << tick;
    EXPECT_EQ(dialog.Tray().AlarmIconShown(), tick % 2 == 0) << tick;
    previous = now;
  }
  alert.FlashTick();
  ASSERT_TRUE(alert.FlashShown());
  QTest::mouseClick(alert.findChild<QPushButton*>(QStringLiteral("control1")), Qt::LeftButton);
  alert.FlashTick();
  EXPECT_FALSE(alert.FlashShown());
  EXPECT_FALSE(dialog.Tray().AlarmIconShown());
}

// The rectangle a label's text covers, as it is drawn.
QRect TextArea(const QLabel& label) {
  const int flags = label.wordWrap() ? Qt::TextWordWrap : 0;
  const QRect bounds =
      label.fontMetrics().boundingRect(QRect(0, 0, label.width(), 1 << 20), flags, label.text());
  return QRect(label.mapTo(label.window(), QPoint(0, 0)), bounds.size());
}

// The longest texts each field can hold, at 96 and 144 DPI: no text is cut,
// none touches or overlaps another, all stay inside the window, and the
// version texts inside their group box.
TEST_F(MainDialogTest, LongestTextsAreShownWholeAtBothDpis) {
  FakeHostFacts host;
  host.name = "WORKSTATION-015";
  host.description =
      "Debian GNU/Linux 12 (bookworm) Linux 6.1.0-28-cloud-amd64 #1 SMP PREEMPT_DYNAMIC Debian "
      "6.1.119-1 (2024-11-22) x86_64 with the real-time kernel and extra long build tags 0123456789";
  context_.host = &host;
  emulator::VersionTexts& versions = world_.controllers[0].versions;
  versions = {"ZM 2.01.004.0016", "ZF 2.04.011.0016", "ZB 2.02.007.0016", "PC-3A-08",
              "AC 1.3.08",        "PC 2.0.08",        "Zelka Z-4800 Pro"};
  versions.aChip.resize(8);
  versions.pChip.resize(8);
  world_.controllers[0].driverText = "Zelka NT Storage Controller driver 2.10.04";  // 41 characters
  MainDialog& dialog = Open();
  dialog.Model().SetStatusLine(
      "TIME: Wed Dec 30 23:59:59 2026 MESSAGE: Error retrieving notification from controller 10. System "
      "resources may be limited.  Check the service control manager to ensure the Kivo service is "
      "running. (e003,800706ba)\r\n");
  dialog.Model().PushDisplayTexts();
  ASSERT_EQ(Control(1009), "Zelka Z-4800 Pro");
  const double screenDpi = QGuiApplication::primaryScreen()->logicalDotsPerInch();
  for (const int dpi : {96, 144}) {
    QFont font = DialogFont();
    font.setPointSizeF(8.0 * dpi / screenDpi);
    dialog.setFont(font);
    const QRect window = dialog.rect();
    auto* group = dialog.findChild<QGroupBox*>();
    const QRect groupArea(group->mapTo(&dialog, QPoint(0, 0)), group->size());
    std::vector<std::pair<std::string, QRect>> areas;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
      if (label->text().isEmpty()) continue;
      const QRect area = TextArea(*label);
      const std::string name = label->text().left(20).toStdString() + " @" + std::to_string(dpi);
      EXPECT_LE(area.width(), label->width()) << name;
      EXPECT_LE(area.height(), label->height()) << name;
      EXPECT_TRUE(window.contains(area)) << name;
      if (groupArea.contains(area.topLeft())) {
        EXPECT_TRUE(groupArea.contains(area)) << name;
      }
      for (const auto& [other, otherArea] : areas) {
        EXPECT_FALSE(area.adjusted(-1, 0, 1, 0).intersects(otherArea)) << name << " and " << other;
      }
      areas.push_back({name, area});
    }
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
      if (button->isHidden()) continue;
      const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
      EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + margin, button->width())
          << button->text().toStdString() << " @" << dpi;
      EXPECT_TRUE(window.contains(QRect(button->mapTo(&dialog, QPoint(0, 0)), button->size())));
    }
  }
}

TEST_F(MainDialogTest, HooksReceiveTheirCommands) {
  MainDialog& dialog = Open();
  std::vector<std::string> calls;
  dialog.commands.copyReportToClipboard = [&] { calls.push_back("copy"); };
  dialog.commands.openEmailSetup = [&] { calls.push_back("email"); };
  dialog.commands.showAbout = [&] { calls.push_back("about"); };
  dialog.commands.showHelp = [&] { calls.push_back("help"); };
  for (int id : {32780, 202, 32778, 32773, 32781, 57670, 32774, 1036}) dialog.DispatchCommand(id);
  dialog.SysCommand(16);
  dialog.SysCommand(16 | 0x3);
  EXPECT_EQ(calls,
            (std::vector<std::string>{"copy", "copy", "email", "about", "about", "help", "about", "about"}));
  dialog.ActionFor(57670)->trigger();
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("control57670")), Qt::LeftButton);
  EXPECT_EQ(calls.size(), 10u);
}

TEST_F(MainDialogTest, AudioOffMenuAndAlertBoxFlipOneSettingOncePerClick) {
  MainDialog& dialog = Open();
  QAction* menuItem = dialog.ActionFor(32785);
  auto* alertBox = dialog.Alert()->findChild<QCheckBox*>(QStringLiteral("control1034"));
  ASSERT_NE(alertBox, nullptr);
  // Each click, wherever it is made, flips the mark, the box, the flag and
  // the stored value once.
  const std::function<void()> clicks[] = {[&] { menuItem->trigger(); }, [&] { menuItem->trigger(); },
                                          [&] { alertBox->click(); }, [&] { menuItem->trigger(); },
                                          [&] { alertBox->click(); }};
  int expected = 0;
  for (const auto& click : clicks) {
    click();
    expected = 1 - expected;
    EXPECT_EQ(menuItem->isChecked(), expected == 1);
    EXPECT_EQ(alertBox->isChecked(), expected == 1);
    EXPECT_EQ(AudioOffFlag, expected);
    EXPECT_EQ(ReadAudioOff(*registry_), expected);
  }
}

TEST_F(MainDialogTest, AudioOffAtStartCarriesTheCheckMark) {
  AudioOffFlag = 1;
  MainDialog& dialog = Open();
  EXPECT_TRUE(dialog.ActionFor(32785)->isChecked());
}

TEST_F(MainDialogTest, SnapshotWritesReportAndOpensEditor) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
  ASSERT_EQ(chdir(scratch_.Path().c_str()), 0);
  MainDialog& dialog = Open();
  dialog.DispatchCommand(32783);
  std::ifstream file("data.txt", std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_EQ(content.str(), ReportText().Text());
  EXPECT_EQ(launcher_.textFiles, std::vector<std::string>{"data.txt"});
  ASSERT_EQ(chdir(previous), 0);
}

TEST_F(MainDialogTest, TwoEventsBeforeTheFirstIsHandled) {
  MainDialog& dialog = Open();
  const std::string first = "TIME: x MESSAGE: Drive timeout encountered on unit 1 on controller ID:2.\r\n";
  const std::string second = "TIME: y MESSAGE: Drive timeout encountered on unit 0 on controller ID:10.\r\n";
  AddPending(first);
  dialog.Model().SetLastEventController(2);
  dialog.PostMonitorMessage(EventReady);
  AddPending(second);
  dialog.Model().SetLastEventController(10);
  dialog.PostMonitorMessage(EventReady);

  QCoreApplication::sendPostedEvents(&dialog);
  // The first message took both lines, the second found nothing.
  EXPECT_TRUE(dialog.Alert()->isVisible());
  EXPECT_EQ(dialog.Alert()->Logic().Message(), first + second);
  EXPECT_EQ(dialog.Alert()->Logic().AlarmStopped(), 0);
  EXPECT_EQ(dialog.ControllerBox()->currentIndex(), 1) << "the second controller is selected";
  EXPECT_EQ(Control(1009), world_.controllers[1].versions.model);
  // The second message found its line taken: no rescan, nothing appended,
  // the report keeps the batch after its one rescan.
  const std::string report = ReportText().Text();
  EXPECT_EQ(Count(report, "MESSAGE: Drive timeout"), 2);
  EXPECT_EQ(report.substr(report.size() - first.size() - second.size()), first + second);
  EXPECT_EQ(std::string(PendingText().Text()), "");
}

TEST_F(MainDialogTest, EventLineIsAppendedAfterTheRescan) {
  MainDialog& dialog = Open();
  const std::string line = "TIME: x MESSAGE: Rebuild started on unit 0 on controller ID:10.\r\n";
  AddPending(line);
  dialog.Model().SetLastEventController(10);
  dialog.PostMonitorMessage(EventReady);
  Deliver();
  const std::string report = ReportText().Text();
  ASSERT_GE(report.size(), line.size());
  EXPECT_EQ(report.substr(report.size() - line.size()), line);
  EXPECT_EQ(Count(report, line), 1);
  EXPECT_EQ(dialog.ControllerBox()->currentIndex(), 1);
}

TEST_F(MainDialogTest, EventOfUnlistedControllerSelectsEntryZero) {
  MainDialog& dialog = Open();
  dialog.ControllerBox()->setCurrentIndex(1);
  AddPending("TIME: x MESSAGE: something\r\n");
  dialog.Model().SetLastEventController(7);
  dialog.PostMonitorMessage(EventReady);
  Deliver();
  EXPECT_EQ(dialog.ControllerBox()->currentIndex(), 0);
  EXPECT_EQ(Control(1009), world_.controllers[0].versions.model);
}

TEST_F(MainDialogTest, TheErrorOfAFailingPeriodReachesAlertAndReportOnce) {
  MainDialog& dialog = Open();
  const std::string error =
      "Error retrieving notification from controller 2. System resources may be limited.  Check the service "
      "control manager to ensure the Kivo service is running. (e003,0)\r\n";
  AddPending(error, PendingErrorText());
  dialog.PostMonitorMessage(ErrorReady);
  Deliver();
  const std::string shown = dialog.Alert()->Logic().Message();
  EXPECT_EQ(shown.rfind("TIME: ", 0), 0u);
  EXPECT_NE(shown.find(" MESSAGE: " + error + "\r\n"), std::string::npos) << "framed, ending in two CR LF";
  EXPECT_EQ(dialog.Model().MonitorState(), 0);
  EXPECT_EQ(dialog.Model().StatusLine(), shown);
  EXPECT_NE(Control(1031).find("Error retrieving notification from controller 2."), std::string::npos);
  EXPECT_EQ(Count(ReportText().Text(), "Error retrieving"), 1);

  // A message whose text was taken already shows nothing.
  dialog.Alert()->Acknowledge();
  dialog.PostMonitorMessage(ErrorReady);
  Deliver();
  EXPECT_FALSE(dialog.Alert()->isVisible());
  EXPECT_EQ(dialog.Alert()->Logic().Message(), shown);
  EXPECT_EQ(Count(ReportText().Text(), "Error retrieving"), 1);
  EXPECT_EQ(std::string(PendingErrorText().Text()), "");
}

TEST_F(MainDialogTest, EventFetchedByTheMonitorThreadReachesTheAlertWindow) {
  MainDialog& dialog = Open();
  link_.Add(0, 0x0109);  // AEN 9 on unit 1 of the first controller
  ASSERT_TRUE(monitorClock_.WaitForSleepers(1));
  ASSERT_TRUE(monitorClock_.AdvanceToNextWake());
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Alert()->isVisible(); }, 5000));
  EXPECT_NE(dialog.Alert()->Logic().Message().find(
                " MESSAGE: Drive timeout encountered on unit 1 on controller ID:2.\r\n"),
            std::string::npos);
  EXPECT_EQ(dialog.Model().LastEventController(), 2);
}

// The window against the emulator's service: a burst of 100 events over the
// two controllers, then a stream of three events a pass on one. Every line
// reaches the alert window in order, and the window rescans once per batch
// (one pass's events), not once or twice per event.
TEST_F(MainDialogTest, ABurstAndAStreamReachTheAlertWindowWithOneRescanABatch) {
  context_.rpcDirectory = scratch_.Path() + "/rpc";
  emulator::ServiceServer service(world_, context_.rpcDirectory);
  std::string error;
  ASSERT_TRUE(service.Start(&error)) << error;
  MainDialogServices services;
  services.monitorClock = &monitorClock_;
  services.beeper = &beeper_;
  services.flasher = &flasher_;
  dialog_ = std::make_unique<MainDialog>(context_, services);
  MainDialog& dialog = *dialog_;
  dialog.OnInitDialog();
  dialog.Alert()->BeepTimer().stop();
  dialog.Alert()->FlashTimer().stop();
  dialog.show();
  auto deviceCalls = [&] {
    std::lock_guard lock(world_.mutex);
    return world_.deviceCalls;
  };
  // The thread's next sleep, reached without the window handling anything:
  // everything it fetched in the pass waits as one batch.
  auto passEnds = [&](std::size_t sleeps) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (monitorClock_.Sleeps().size() < sleeps || monitorClock_.Sleepers() < 1) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  };
  auto line = [](int code, int unit, int id) {
    return std::string(code == 9 ? "Drive timeout encountered on unit "
                                 : "Drive cable CRC error detected on port ") +
           std::to_string(unit) + " on controller ID:" + std::to_string(id) + ".";
  };
  std::vector<std::vector<std::string>> batches;

  ASSERT_TRUE(passEnds(1));  // the first 90 s, the thread's own scan done
  // A rescan's device calls, as the Update button makes them.
  std::uint64_t before = deviceCalls();
  QTest::keyClick(&dialog, Qt::Key_Return);
  const std::uint64_t perScan = deviceCalls() - before;
  ASSERT_GT(perScan, 0u);
  {
    std::lock_guard lock(world_.mutex);
    ASSERT_TRUE(emulator::QueueNotificationSeries(world_, 2, 9, 50, std::chrono::milliseconds(0), &error));
    ASSERT_TRUE(emulator::QueueNotificationSeries(world_, 10, 9, 50, std::chrono::milliseconds(0), &error));
  }
  batches.emplace_back();
  for (int id : {2, 10}) {
    for (int unit = 0; unit < 50; ++unit) batches.back().push_back(line(9, unit, id));
  }
  before = deviceCalls();
  ASSERT_TRUE(monitorClock_.AdvanceToNextWake());
  ASSERT_TRUE(passEnds(2));
  Deliver();
  EXPECT_EQ(dialog.ControllerBox()->currentIndex(), 1) << "the controller of the last event";
  for (int pass = 0; pass < 5; ++pass) {
    batches.emplace_back();
    {
      std::lock_guard lock(world_.mutex);
      for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(
            emulator::QueueNotification(world_, 2, 33, static_cast<std::uint8_t>(pass * 3 + k), &error));
        batches.back().push_back(line(33, pass * 3 + k, 2));
      }
    }
    ASSERT_TRUE(monitorClock_.AdvanceToNextWake());
    ASSERT_TRUE(passEnds(3 + pass));
    Deliver();
  }

  EXPECT_EQ((deviceCalls() - before) / perScan, batches.size()) << "one rescan per batch of 115 events";
  EXPECT_EQ((deviceCalls() - before) % perScan, 0u);
  // Newest batch on top, each batch's lines in the order they came.
  std::string expected;
  for (auto batch = batches.rbegin(); batch != batches.rend(); ++batch) {
    for (const std::string& body : *batch) expected += body + "\n";
  }
  std::string shown;
  const std::string message = dialog.Alert()->Logic().Message();
  for (std::size_t at = message.find(" MESSAGE: "); at != std::string::npos;
       at = message.find(" MESSAGE: ", at + 1)) {
    shown += message.substr(at + 10, message.find("\r\n", at) - at - 10) + "\n";
  }
  EXPECT_EQ(shown, expected);
  EXPECT_TRUE(dialog.Alert()->isVisible());
  // The report holds the last batch after its rescan.
  const std::string report = ReportText().Text();
  EXPECT_EQ(Count(report, " MESSAGE: "), 3);
  EXPECT_NE(report.find(line(33, 14, 2)), std::string::npos);
  dialog_.reset();
  service.Stop();
}

TEST_F(MainDialogTest, ServiceFailureThenRecoveryGoesOnMonitoring) {
  MainDialog& dialog = Open();
  link_.Add(platform::RPC_S_SERVER_UNAVAILABLE, 0);  // the first fetch fails, every later one answers
  // Each step lets the thread reach its next sleep (the window handles its
  // messages meanwhile), then ends that sleep.
  auto reachSleep = [&](std::size_t count) {
    return QTest::qWaitFor([&] { return monitorClock_.Sleeps().size() >= count; }, 5000);
  };
  ASSERT_TRUE(reachSleep(1));  // the first 90 s
  ASSERT_TRUE(monitorClock_.AdvanceToNextWake());
  ASSERT_TRUE(reachSleep(2));  // 18 s after the failed fetch
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Alert()->isVisible(); }, 5000));
  EXPECT_NE(dialog.Alert()->Logic().Message().find("Error retrieving notification from controller 2."),
            std::string::npos);
  EXPECT_NE(Control(1031).find("Error retrieving notification from controller 2."), std::string::npos);
  ASSERT_TRUE(monitorClock_.AdvanceToNextWake());
  ASSERT_TRUE(reachSleep(3));  // 18 s after the failing pass
  ASSERT_TRUE(monitorClock_.AdvanceToNextWake());
  // The healthy pass tells the window and the thread goes on at its usual
  // pace.
  ASSERT_TRUE(reachSleep(4));
  EXPECT_EQ(monitorClock_.Sleeps(), (std::vector<std::uint32_t>{90000, 18000, 18000, 18000}));
  EXPECT_TRUE(dialog.Model().MonitorRunning());
  EXPECT_EQ(dialog.Model().MonitorState(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Control(1031).empty(); }, 5000))
      << "the refresh that opens the restart shows the emptied status line";
  EXPECT_EQ(Count(dialog.Alert()->Logic().Message(), "Error retrieving"), 1);
}

TEST_F(MainDialogTest, ChoosingAControllerShowsScanErrorBoxesUpdateDoesNot) {
  // A driver newer than this program: every scan stops with the level message.
  for (auto& controller : world_.controllers) controller.level = 7;
  MainDialog& dialog = Open();
  const auto scanBoxes = [&] {
    return std::count_if(boxes_.shown.begin(), boxes_.shown.end(),
                         [](const ShownBox& call) { return call.caption == "Zelka Error Message"; });
  };
  EXPECT_GE(scanBoxes(), 1) << "the start-up scan shows its errors";
  boxes_.shown.clear();
  dialog.DispatchCommand(1010);
  EXPECT_EQ(scanBoxes(), 0) << "Update records the same failure in the report only";
  dialog.ControllerBox()->setCurrentIndex(1);
  EXPECT_GE(scanBoxes(), 1);
  for (const ShownBox& call : boxes_.shown) {
    EXPECT_FALSE(call.owned);
    EXPECT_EQ(call.type & 0xF0u, platform::MB_ICONERROR);
  }
  EXPECT_FALSE(ErrorBoxesEnabled()) << "error boxes are off again after the scan";
}

TEST_F(MainDialogTest, AlarmCanBeAcknowledgedWhileABoxHoldsUpTheWindow) {
  MainDialog& dialog = Open();
  QtMessageBoxes boxes(&dialog);
  EmailSetupDialogForm form(&dialog);
  EmailSetupFields fields;
  const std::pair<const char*, std::function<void()>> modals[] = {
      {"owned message box", [&] { boxes.MessageBoxA(true, "box", "caption", platform::MB_OK); }},
      {"message box without owner", [&] { boxes.MessageBoxA(false, "box", "caption", platform::MB_OK); }},
      {"About box", [&] { ShowAboutBox(&dialog); }},
      {"e-mail setup", [&] { form.Run(fields); }},
  };
  for (const auto& [name, run] : modals) {
    dialog.ShowAlert("TIME: x MESSAGE: y\r\n");
    int stoppedDuringBox = -1;
    QTimer::singleShot(0, &dialog, [&] {
      // A click as the window system delivers it, which a blocked window
      // would not receive.
      QPushButton* ok = dialog.Alert()->findChild<QPushButton*>(QStringLiteral("control1"));
      QTest::mouseClick(dialog.Alert()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                        ok->mapTo(dialog.Alert(), ok->rect().center()));
      QCoreApplication::processEvents();
      stoppedDuringBox = dialog.Alert()->Logic().AlarmStopped();
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    run();
    EXPECT_EQ(stoppedDuringBox, 1) << name;
    EXPECT_FALSE(dialog.Alert()->isVisible()) << name;
  }
}

TEST_F(MainDialogTest, ExitStopsMonitorRetiresLockAndEndsTheRun) {
  MainDialog& dialog = Open();
  bool helpClosed = false;
  dialog.commands.closeHelp = [&] { helpClosed = true; };
  ASSERT_TRUE(monitorClock_.WaitForSleepers(1));
  dialog.DispatchCommand(203);
  EXPECT_TRUE(dialog.Model().Exited());
  EXPECT_FALSE(dialog.Model().MonitorRunning());
  EXPECT_FALSE(MessageLock::Ready());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), MainDialog::kExitResult);
  EXPECT_TRUE(helpClosed);
  // A message still queued after the exit shows nothing.
  AddPending("TIME: x MESSAGE: late\r\n");
  dialog.PostMonitorMessage(EventReady);
  Deliver();
  EXPECT_FALSE(dialog.Alert()->isVisible());
}

TEST_F(MainDialogTest, CommandOneEndsTheRunWithOk) {
  MainDialog& dialog = Open(1);
  QTimer::singleShot(0, &dialog, [&] { dialog.DispatchCommand(1); });
  EXPECT_EQ(dialog.exec(), 1);
  EXPECT_FALSE(dialog.Model().MonitorRunning());
  EXPECT_FALSE(dialog.Model().Exited()) << "start-up removes the tray icon after OK";
}

TEST_F(MainDialogTest, HiddenRunLastsUntilExit) {
  MainDialog& dialog = Open(1);
  std::vector<std::string> seen;
  // The posted HideRequest, the close box and Escape all hide the window
  // during the run; only Exit ends it.
  QTimer::singleShot(0, &dialog, [&] {
    seen.push_back(dialog.isVisible() ? "shown" : "hidden");
    dialog.close();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTimer::singleShot(0, &dialog, [&] {
      seen.push_back(dialog.isVisible() ? "shown" : "hidden");
      dialog.DispatchCommand(32771);
    });
  });
  EXPECT_EQ(dialog.exec(), MainDialog::kExitResult);
  EXPECT_EQ(seen, (std::vector<std::string>{"hidden", "hidden"}));
  EXPECT_EQ(dialog.StartHidden(), 0);
}

TEST_F(MainDialogTest, ShownRunSurvivesReturnToTray) {
  MainDialog& dialog = Open(0);
  bool visibleAtStart = false;
  QTimer::singleShot(0, &dialog, [&] {
    visibleAtStart = dialog.isVisible();
    dialog.DispatchCommand(1027);
    QTimer::singleShot(0, &dialog, [&] { dialog.DispatchCommand(203); });
  });
  EXPECT_EQ(dialog.exec(), MainDialog::kExitResult);
  EXPECT_TRUE(visibleAtStart);
  EXPECT_FALSE(dialog.isVisible());
}

// "-max" from a launcher: the window shown at start is activated with the
// launcher's token (Wayland's xdg-activation; it also ends the launcher's
// "starting"); a later request has none left to use.
TEST_F(MainDialogTest, TheWindowShownAtStartIsActivatedWithTheLaunchersTokenOnce) {
  MainDialog& dialog = Open(0);
  std::vector<QByteArray> tokens;
  dialog.Activation().request = [&](QWindow&) {
    tokens.push_back(qgetenv("XDG_ACTIVATION_TOKEN"));
    QTimer::singleShot(0, &dialog, [&] {
      if (tokens.size() == 1) {
        dialog.ShowMainWindow();
      } else {
        dialog.DispatchCommand(32771);
      }
    });
  };
  dialog.SetStartupActivationToken("launcher-token-9");
  EXPECT_EQ(dialog.exec(), MainDialog::kExitResult);
  EXPECT_EQ(tokens, (std::vector<QByteArray>{"launcher-token-9", ""}));
}

}  // namespace
}  // namespace kivo::test
