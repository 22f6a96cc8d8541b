// The main window's steps without a window: a recording view over an
// in-process emulated machine sees start-up, selection and exit in order.
#include "shell/MainWindowModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "emulator/InProcessDeviceIo.h"
#include "emulator/World.h"
#include "monitor/MessageLock.h"
#include "platform/HostFacts.h"
#include "report/DiskReport.h"
#include "support/FakeClock.h"
#include "support/HostDoubles.h"

namespace kivo::test {
namespace {

class RecordingView : public MainWindowView {
 public:
  int SelectedEntry() override { return selected; }
  int FindEntry(const std::string& text) override {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i] == text) return static_cast<int>(i);
    }
    return -1;
  }
  void SetEntries(const std::vector<std::string>& shown, int chosen) override {
    entries = shown;
    selected = chosen;
  }
  void SetUnitRows(int, const DisplayRow*, int count) override { rows = count; }
  void SetDisplayTexts(const DisplayTexts& shown) override { texts = shown; }
  void SetBusy(bool busy) override { calls.push_back(busy ? "busy" : "idle"); }
  void SetAudioMark(bool) override { calls.push_back("audio mark"); }
  void AddTrayIcon(const char* tip) override { calls.push_back(std::string("tray ") + tip); }
  void RemoveTrayIcon() override { calls.push_back("tray gone"); }
  void CreateAlert() override { calls.push_back("alert"); }
  void ShowAlert(const std::string& line) override { calls.push_back("show alert " + line); }
  void SilenceAlert() override { calls.push_back("silence"); }
  void PostMonitorMessage(std::uint32_t) override {}
  void PostHideRequest() override { calls.push_back("hide request"); }
  void EndRun(int result) override { calls.push_back("end " + std::to_string(result)); }

  int selected = -1;
  int rows = -1;
  std::vector<std::string> entries;
  DisplayTexts texts;
  std::vector<std::string> calls;
};

class MainWindowModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MachineInfo().Reset();
    AudioOffFlag = 0;
    MessageLock::Retire();
    emulator::BuildDefaultWorld(world_);
    world_.controllers[0].scsiId = 2;
    world_.controllers[1].scsiId = 10;
    registry_ = platform::MakeFileRegistry(scratch_.Path());
    host_ = platform::MakeSystemHostFacts();
    device_ = std::make_unique<emulator::InProcessDeviceIo>(world_);
    context_ = {};
    context_.clock = &clock_;
    context_.host = host_.get();
    context_.registry = registry_.get();
    context_.device = device_.get();
    context_.messageBoxes = &boxes_;
    monitorContext_ = context_;
    monitorContext_.clock = &monitorClock_;
  }
  void TearDown() override { MessageLock::Retire(); }

  emulator::World world_;
  ScratchDirectory scratch_;
  std::unique_ptr<platform::Registry> registry_;
  std::unique_ptr<platform::HostFacts> host_;
  std::unique_ptr<emulator::InProcessDeviceIo> device_;
  FakeClock clock_{true};
  FakeClock monitorClock_{false};
  RecordingBoxes boxes_;
  ScriptedServiceLink link_;
  platform::PlatformContext context_;
  platform::PlatformContext monitorContext_;
  RecordingView view_;
};

TEST_F(MainWindowModelTest, StartShowsTheFirstControllerThenSelectionFollowsTheView) {
  MainWindowModel model(view_, context_, monitorContext_, link_);
  model.SetStartHidden(1);
  model.Start();
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"tray Kivo Disk Management Utility", "busy", "idle",
                                                   "alert", "hide request"}));
  EXPECT_EQ(view_.entries, (std::vector<std::string>{"Controller SCSI ID:2", "Controller SCSI ID:10"}));
  EXPECT_EQ(view_.selected, 0);
  EXPECT_EQ(view_.texts.model, world_.controllers[0].versions.model);
  EXPECT_TRUE(model.MonitorRunning());

  view_.selected = 1;  // the user's choice
  model.SelectController();
  EXPECT_EQ(model.SelectedRow(), 1);
  EXPECT_EQ(view_.selected, 1);
  EXPECT_EQ(view_.texts.model, world_.controllers[1].versions.model);
  EXPECT_EQ(model.FindControllerEntry("Controller SCSI ID:10"), 1);
}

TEST_F(MainWindowModelTest, ExitRunsOnceAndLaterMonitorMessagesShowNothing) {
  MainWindowModel model(view_, context_, monitorContext_, link_);
  model.Start();
  view_.calls.clear();
  model.Exit();
  model.Exit();
  EXPECT_EQ(view_.calls, (std::vector<std::string>{"tray gone", "silence", "end -1"}));
  EXPECT_TRUE(model.Exited());
  EXPECT_FALSE(model.MonitorRunning());
  EXPECT_EQ(model.HandleMonitorMessage(ErrorReady), 1);
  EXPECT_EQ(view_.calls.size(), 3u);
}

}  // namespace
}  // namespace kivo::test
