// The maximal machine of the scan benchmarks: every SCSI id a controller,
// every controller's 64 display rows filled.
#pragma once

#include <string>

#include "emulator/World.h"

namespace kivo {

// Twelve controllers, each with nine drives (ports 0..8) and sixteen RAID 5
// units of three members: one unit row and three drive rows a unit.
inline void BuildMaximal(emulator::World& world) {
  world.controllers.clear();
  world.recordRequests = false;
  for (int id = 0; id <= emulator::kMaxScsiId; ++id) {
    emulator::Controller controller;
    controller.scsiId = id;
    controller.driverText = "Zelka NT driver 2.10.04.018";
    controller.level = 3;
    controller.extra = 1;
    controller.versions = emulator::VersionTexts{"ZM 2.01.004", "ZF 2.04.011", "ZB 2.02.007", "PC-3A",
                                                 "AC 1.3",      "PC 2.0",      "Zelka Z-480"};
    for (int port = 0; port <= 8; ++port) {
      controller.drives.push_back(
          emulator::Drive{port, "KD-4000 ATA Disk", "KD4S0" + std::to_string(port), 78165360});
    }
    for (int n = 0; n < emulator::kUnitNumbers; ++n) {
      emulator::Unit unit;
      unit.number = n;
      unit.type = 5;
      unit.stripe = 7;
      unit.status = 0xFF;
      unit.sectors = 2u * 78165360u;
      for (int m = 0; m < 3; ++m) {
        auto port = static_cast<std::uint8_t>((n * 3 + m) % 9);
        unit.members.push_back(emulator::Member{port, static_cast<std::uint8_t>(m), 78165360});
      }
      controller.units.push_back(unit);
    }
    world.controllers.push_back(controller);
  }
}

}  // namespace kivo
