// The main window's test fixture: an in-process emulated machine with two
// controllers (ids 2 and 10), recorders for boxes, launcher, beeper and
// flasher, a scripted service link and fake clocks; Open() builds the window
// over them. Shared by the tests of the main window and of what it shows on
// the desktop.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "emulator/InProcessDeviceIo.h"
#include "emulator/World.h"
#include "monitor/MessageLock.h"
#include "monitor/PendingText.h"
#include "platform/HostFacts.h"
#include "report/DiskReport.h"
#include "report/InventoryScan.h"
#include "report/ReportText.h"
#include "support/FakeClock.h"
#include "support/HostDoubles.h"
#include "ui/AlertDialog.h"
#include "ui/MainDialog.h"

namespace kivo::test {

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MachineInfo().Reset();
    ReportText().Clear();
    PendingText().Clear();
    PendingErrorText().Clear();
    AudioOffFlag = 0;
    SetErrorBoxesEnabled(false);
    MessageLock::Retire();
    emulator::BuildDefaultWorld(world_);
    // Two controllers with the ids 2 and 10.
    world_.controllers[0].scsiId = 2;
    world_.controllers[1].scsiId = 10;
    registry_ = platform::MakeFileRegistry(scratch_.Path());
    host_ = platform::MakeSystemHostFacts();
    device_ = std::make_unique<emulator::InProcessDeviceIo>(world_);
    context_.clock = &clock_;
    context_.host = host_.get();
    context_.registry = registry_.get();
    context_.device = device_.get();
    context_.messageBoxes = &boxes_;
    context_.launcher = &launcher_;
  }
  void TearDown() override {
    dialog_.reset();
    MessageLock::Retire();
  }

  MainDialog& Open(int startHidden = 0) {
    MainDialogServices services;
    services.serviceLink = &link_;
    services.monitorClock = &monitorClock_;
    services.beeper = &beeper_;
    services.flasher = &flasher_;
    services.bus = bus_;
    dialog_ = std::make_unique<MainDialog>(context_, services);
    dialog_->SetStartHidden(startHidden);
    dialog_->OnInitDialog();
    dialog_->Alert()->BeepTimer().stop();
    dialog_->Alert()->FlashTimer().stop();
    if (startHidden == 0) dialog_->show();
    return *dialog_;
  }
  void Deliver() { QCoreApplication::sendPostedEvents(dialog_.get()); }
  std::vector<std::string> BoxLines() const {
    std::vector<std::string> lines;
    for (int i = 0; i < dialog_->ControllerBox()->count(); ++i) {
      lines.push_back(dialog_->ControllerBox()->itemText(i).toStdString());
    }
    return lines;
  }
  std::string Control(int id) const {
    auto* label = dialog_->findChild<QLabel*>(QStringLiteral("control%1").arg(id));
    return label != nullptr ? label->text().toStdString() : "<missing>";
  }
  void AddPending(const std::string& text, TextBuffer& pending = PendingText()) {
    MessageLock::Scope lock;
    pending.Append(text.c_str());
  }
  static int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  // The bus of the tray item and the notifications; none unless a test
  // gives one.
  std::optional<QDBusConnection> bus_;
  emulator::World world_;
  ScratchDirectory scratch_;
  std::unique_ptr<platform::Registry> registry_;
  std::unique_ptr<platform::HostFacts> host_;
  std::unique_ptr<emulator::InProcessDeviceIo> device_;
  FakeClock clock_{true};
  FakeClock monitorClock_{false};
  RecordingBoxes boxes_;
  RecordingLauncher launcher_;
  RecordingBeeper beeper_;
  RecordingFlasher flasher_;
  ScriptedServiceLink link_;
  platform::PlatformContext context_;
  std::unique_ptr<MainDialog> dialog_;
};

}  // namespace kivo::test
