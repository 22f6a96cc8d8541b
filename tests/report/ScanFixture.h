// A machine for scan tests: an emulated World reached in-process, fake host
// facts, an in-memory registry, recording message boxes and launcher, a fake
// clock, and the main window's 32 records. Resets the process-wide report,
// MachineInfo and error-box flag around each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "controller/ControllerInfo.h"
#include "emulator/InProcessDeviceIo.h"
#include "emulator/World.h"
#include "emulator/WorldFile.h"
#include "report/DiskReport.h"
#include "report/InventoryScan.h"
#include "report/ReportDoubles.h"
#include "report/ReportText.h"
#include "support/FakeClock.h"

namespace kivo::test {

constexpr char kServiceKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\Zelka Storage Controller";

class ScanFixture : public ::testing::Test {
 protected:
  ScanFixture() : device(world), faulty(device) {
    context.clock = &clock;
    context.host = &host;
    context.registry = &registry;
    context.device = &faulty;
    context.messageBoxes = &boxes;
    context.launcher = &launcher;
    records = std::make_unique<ControllerRecords>(context);
  }
  void SetUp() override { ResetProcessState(); }
  void TearDown() override { ResetProcessState(); }

  static void ResetProcessState() {
    ReportText().Clear();
    MachineInfo().Reset();
    SetErrorBoxesEnabled(false);
  }

  // Replaces the world with a world file of tests/report/worlds/.
  void LoadWorld(const std::string& name) {
    std::string path = std::string(std::getenv("KIVO_SOURCE_DIR")) + "/tests/report/worlds/" + name;
    std::string error;
    ASSERT_TRUE(emulator::LoadWorldFile(path, world, &error)) << error;
  }
  void DefaultWorld() {
    std::lock_guard lock(world.mutex);
    emulator::BuildDefaultWorld(world);
  }
  emulator::Controller& ControllerAt(int scsiId) {
    emulator::Controller* found = world.FindController(scsiId);
    EXPECT_NE(found, nullptr) << scsiId;
    return *found;
  }

  std::string Scan(int allocate = 1, ScanOutcome* outcome = nullptr) {
    ScanControllers(allocate, *records, outcome);
    return ReportText().Text();
  }

  static std::string Row(const DisplayRow& row) {
    return std::string(row.nameText.data()) + "|" + row.typeText.data() + "|" + row.serialText.data() + "|" +
           row.sizeText.data() + "|" + row.sectorsText.data() + "|" + row.statusText.data();
  }

  emulator::World world;
  FakeClock clock;
  FakeHostFacts host;
  MemoryRegistry registry;
  RecordingMessageBoxes boxes;
  RecordingLauncher launcher;
  emulator::InProcessDeviceIo device;
  FaultyDeviceIo faulty;
  platform::PlatformContext context;
  std::unique_ptr<ControllerRecords> records;
};

}  // namespace kivo::test
