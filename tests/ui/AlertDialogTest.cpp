// The alert window driven as a user would: alerts, OK, Enter, Escape, the
// close box, the audio check box, the browser button and the timer ticks.
#include "ui/AlertDialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "mail/SettingsStore.h"
#include "platform/Registry.h"

namespace kivo::test {
namespace {

using platform::BYTE;
using platform::DWORD;
using platform::HKEY;

class AlertDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = platform::MakeFileRegistry(scratch_.Path());
    context_.registry = registry_.get();
    context_.messageBoxes = &boxes_;
    context_.launcher = &launcher_;
    dialog_ = std::make_unique<AlertDialog>(context_, audioOffFlag_, beeper_, flasher_);
    // Ticks are driven by the tests, not by real time.
    EXPECT_TRUE(dialog_->BeepTimer().isActive());
    EXPECT_TRUE(dialog_->FlashTimer().isActive());
    dialog_->BeepTimer().stop();
    dialog_->FlashTimer().stop();
  }

  void Tick() {
    dialog_->BeepTick();
    dialog_->FlashTick();
  }
  std::string Shown() const {
    return dialog_->findChild<QPlainTextEdit*>(QStringLiteral("control1013"))->toPlainText().toStdString();
  }
  QCheckBox* AudioBox() const { return dialog_->findChild<QCheckBox*>(QStringLiteral("control1034")); }

  DWORD StoredDword(const char* key, const char* value) {
    HKEY handle = 0;
    if (registry_->RegOpenKeyA(platform::HKEY_USERS, key, &handle) != 0) return 0xFFFFFFFFu;
    BYTE data[4] = {};
    DWORD type = 0;
    DWORD size = 4;
    const auto status = registry_->RegQueryValueExA(handle, value, nullptr, &type, data, &size);
    registry_->RegCloseKey(handle);
    if (status != 0 || type != platform::REG_DWORD) return 0xFFFFFFFFu;
    return data[0] | data[1] << 8 | data[2] << 16 | static_cast<DWORD>(data[3]) << 24;
  }
  void StorePort(DWORD port) {
    HKEY handle = 0;
    ASSERT_EQ(registry_->RegCreateKeyA(platform::HKEY_USERS, kHttpKeyPath, &handle), 0);
    const BYTE data[4] = {static_cast<BYTE>(port), static_cast<BYTE>(port >> 8), 0, 0};
    ASSERT_EQ(registry_->RegSetValueExA(handle, "Port", 0, platform::REG_DWORD, data, 4), 0);
    registry_->RegCloseKey(handle);
  }

  ScratchDirectory scratch_;
  std::unique_ptr<platform::Registry> registry_;
  RecordingBoxes boxes_;
  RecordingLauncher launcher_;
  RecordingBeeper beeper_;
  RecordingFlasher flasher_;
  platform::PlatformContext context_;
  int audioOffFlag_ = 0;
  std::unique_ptr<AlertDialog> dialog_;
};

TEST_F(AlertDialogTest, TemplateCaptionControlsAndHiddenAtCreation) {
  EXPECT_EQ(dialog_->windowTitle().toStdString(), "Kivo - Event Notification Message");
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_TRUE(dialog_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(dialog_->BeepTimer().interval(), 500);
  EXPECT_EQ(dialog_->FlashTimer().interval(), 500);
  auto* ok = dialog_->findChild<QPushButton*>(QStringLiteral("control1"));
  auto* browser = dialog_->findChild<QPushButton*>(QStringLiteral("control2"));
  ASSERT_NE(ok, nullptr);
  ASSERT_NE(browser, nullptr);
  EXPECT_EQ(ok->text().toStdString(), "OK");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(browser->text().toStdString(), "Open Browser");
  EXPECT_EQ(AudioBox()->text().toStdString(), "Audio off");
  EXPECT_TRUE(dialog_->findChild<QPlainTextEdit*>(QStringLiteral("control1013"))->isReadOnly());
  // The buttons stand side by side below the text, OK left of Open Browser.
  EXPECT_LT(ok->geometry().right(), browser->geometry().left());
  EXPECT_GT(ok->geometry().top(),
            dialog_->findChild<QPlainTextEdit*>(QStringLiteral("control1013"))->geometry().bottom());
}

TEST_F(AlertDialogTest, TwoAlertsNewerOnTopAndOneOkStopsEverything) {
  dialog_->ShowAlert("TIME: t1 MESSAGE: first\r\n");
  dialog_->ShowAlert("TIME: t2 MESSAGE: second\r\n");
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(Shown(), "TIME: t2 MESSAGE: second\nTIME: t1 MESSAGE: first\n");
  Tick();
  EXPECT_EQ(beeper_.beeps.size(), 1u);
  EXPECT_EQ(beeper_.beeps[0], std::make_pair(100u, 100u));
  EXPECT_EQ(flasher_.flashes, std::vector<bool>{true});

  QTest::mouseClick(dialog_->findChild<QPushButton*>(QStringLiteral("control1")), Qt::LeftButton);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->Logic().AlarmStopped(), 1);
  Tick();
  EXPECT_EQ(beeper_.beeps.size(), 1u);
  EXPECT_EQ(flasher_.flashes.size(), 1u);
}

TEST_F(AlertDialogTest, AlertAfterAcknowledgementComesBackWithAllLines) {
  dialog_->ShowAlert("one\r\n");
  dialog_->Acknowledge();
  dialog_->ShowAlert("two\r\n");
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(dialog_->Logic().Message(), "two\r\none\r\n");
  Tick();
  EXPECT_EQ(beeper_.beeps.size(), 1u);
}

TEST_F(AlertDialogTest, EmptyAlertShowsTextUnchangedAndRestartsAlarm) {
  dialog_->ShowAlert("one\r\n");
  dialog_->Acknowledge();
  dialog_->ShowAlert("");
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(dialog_->Logic().Message(), "one\r\n");
  EXPECT_EQ(dialog_->Logic().AlarmStopped(), 0);
  Tick();
  EXPECT_EQ(beeper_.beeps.size(), 1u);
  EXPECT_EQ(flasher_.flashes.size(), 1u);
}

TEST_F(AlertDialogTest, EnterAcknowledgesLikeOk) {
  dialog_->ShowAlert("one\r\n");
  QTest::keyClick(dialog_.get(), Qt::Key_Return);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->Logic().AlarmStopped(), 1);
}

TEST_F(AlertDialogTest, CloseBoxAcknowledges) {
  dialog_->ShowAlert("one\r\n");
  dialog_->close();
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->Logic().AlarmStopped(), 1);
  EXPECT_EQ(dialog_->Logic().Message(), "one\r\n");
}

TEST_F(AlertDialogTest, EscapeOpensAlarmsPageAndKeepsAlarming) {
  dialog_->ShowAlert("one\r\n");
  QTest::keyClick(dialog_.get(), Qt::Key_Escape);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(dialog_->Logic().AlarmStopped(), 0);
  ASSERT_EQ(launcher_.urls.size(), 1u);
  EXPECT_EQ(launcher_.urls[0], "http://localhost:1080/alarms.html") << "no Port stored gives 1080";
  Tick();
  EXPECT_EQ(beeper_.beeps.size(), 1u);
}

TEST_F(AlertDialogTest, OpenBrowserUsesStoredPort) {
  StorePort(8081);
  QTest::mouseClick(dialog_->findChild<QPushButton*>(QStringLiteral("control2")), Qt::LeftButton);
  ASSERT_EQ(launcher_.urls.size(), 1u);
  EXPECT_EQ(launcher_.urls[0], "http://localhost:8081/alarms.html");
}

TEST_F(AlertDialogTest, AudioOffDuringAlarmSilencesBeepButFlashingGoesOn) {
  dialog_->ShowAlert("one\r\n");
  Tick();
  AudioBox()->click();
  EXPECT_EQ(audioOffFlag_, 1);
  EXPECT_EQ(StoredDword(kAudioKeyPath, "AudioOff"), 1u) << "the key is created and the value stored";
  Tick();
  EXPECT_EQ(beeper_.beeps.size(), 1u);
  EXPECT_EQ(flasher_.flashes, (std::vector<bool>{true, false}));
  AudioBox()->click();
  EXPECT_EQ(audioOffFlag_, 0);
  EXPECT_EQ(StoredDword(kAudioKeyPath, "AudioOff"), 0u);
  Tick();
  EXPECT_EQ(beeper_.beeps.size(), 2u) << "clearing the box brings the beep back at the next tick";
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(AlertDialogTest, AlertCopiesProcessAudioSwitchIntoCheckBox) {
  audioOffFlag_ = 1;
  dialog_->ShowAlert("one\r\n");
  EXPECT_TRUE(AudioBox()->isChecked());
  Tick();
  EXPECT_TRUE(beeper_.beeps.empty());
  EXPECT_EQ(flasher_.flashes.size(), 1u);
}

// A registry whose value writes fail with a given status.
class FailingWrites : public platform::ForwardingRegistry {
 public:
  using ForwardingRegistry::ForwardingRegistry;
  platform::LONG RegSetValueExA(HKEY, const char*, DWORD, DWORD, const BYTE*, DWORD) override { return 1013; }
};

TEST_F(AlertDialogTest, FailedAudioOffWriteIsReportedAndFlagStillChanges) {
  FailingWrites failing(*registry_);
  platform::PlatformContext context = context_;
  context.registry = &failing;
  int flag = 0;
  AlertDialog dialog(context, flag, beeper_, flasher_);
  dialog.BeepTimer().stop();
  dialog.FlashTimer().stop();
  dialog.findChild<QCheckBox*>(QStringLiteral("control1034"))->click();
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Error: registry access failed, check your setup. (0x3f5)");
  EXPECT_EQ(boxes_.shown[0].type, platform::MB_OK);
}

}  // namespace
}  // namespace kivo::test
