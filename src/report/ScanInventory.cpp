// ScanInventory: the reads of one controller's units and drives; see
// ScanInventory.h. A descriptor is only ever read as far as the controller
// returned it.
#include "report/ScanInventory.h"

#include <array>

namespace kivo {
namespace {

// The largest descriptor a controller can describe: an 8-bit length less 3.
constexpr int kMaxDescriptor = 252;
constexpr int kDescriptorHeader = 12;
constexpr std::uint8_t kRaid10 = 6;
constexpr std::uint8_t kHighestArrayPort = 8;

std::uint16_t ReadLe16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}
std::uint32_t ReadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The controller's last answer as a fault (a call that failed, or a refusal).
ReadFault FaultOf(const ControllerInfo& controller) {
  return ReadFault{controller.PacketStatus(), controller.SystemError()};
}

void AddDrive(UnitRead& unit, ControllerInfo& controller, const std::uint8_t* bytes, int subunit,
              bool shown) {
  DriveRead drive;
  drive.entry = DriveEntry::From(bytes);
  drive.subunit = subunit;
  drive.outOfService = MemberOutOfService(unit.type, unit.notInService, drive.entry.index, subunit);
  drive.shown = shown;
  drive.identityAsked = shown && !drive.Inaccessible();
  if (drive.identityAsked) drive.identity = ReadDriveIdentity(controller, kDriveTableBase, drive.entry.port);
  unit.entries.push_back({false, static_cast<int>(unit.drives.size())});
  unit.drives.push_back(drive);
}

// The subunits and drives of a described unit, in descriptor order.
void ReadEntries(UnitRead& unit, ControllerInfo& controller, const std::uint8_t* d, int length) {
  if (unit.memberCount == 0) {
    // A single drive: the descriptor itself is its entry.
    AddDrive(unit, controller, d, 0, true);
    return;
  }
  // Only entries the controller returned in full are read.
  const int described = unit.type == kRaid10 ? 3 * unit.memberCount + 1 : unit.memberCount;
  const int returned = length > kDescriptorHeader ? (length - kDescriptorHeader) / kMemberEntrySize : 0;
  const int entries = described < returned ? described : returned;
  unit.entriesMissing = described - entries;

  std::array<std::uint8_t, 4> subunitStatus{};
  int currentSubunit = -1;
  for (int i = 0; i < entries; ++i) {
    const std::uint8_t* e = d + kDescriptorHeader + i * kMemberEntrySize;
    if (unit.type != kRaid10) {
      AddDrive(unit, controller, e, 0, e[2] <= kHighestArrayPort);
      continue;
    }
    if (e[0] == 0xFF) {
      for (std::size_t s = 0; s < subunitStatus.size(); ++s) subunitStatus[s] = e[2 + s];
    } else if (e[0] != 0) {
      // The status a subunit shows is the header's as it stood at its entry.
      SubunitRead subunit;
      const std::size_t number = unit.subunits.size();
      subunit.hasStatus = number < subunitStatus.size();
      if (subunit.hasStatus) subunit.status = subunitStatus[number];
      unit.entries.push_back({true, static_cast<int>(number)});
      unit.subunits.push_back(subunit);
      ++currentSubunit;
    } else {
      AddDrive(unit, controller, e, currentSubunit, true);
    }
  }
}

UnitRead ReadUnit(ControllerInfo& controller, int number) {
  UnitRead unit;
  unit.number = number;
  const auto table = static_cast<std::uint16_t>(0x300 + number);
  auto failed = [&](const char* part) {
    if (unit.faultPart != nullptr) return;
    unit.faultPart = part;
    unit.fault = FaultOf(controller);
  };
  unit.statusRead = controller.GetParameter(table, 3, 1, &unit.status) == 0;
  if (!unit.statusRead) {
    unit.status = 0;
    failed("status");
  }
  std::array<std::uint8_t, 4> capacity{};
  unit.sizeRead = controller.GetParameter(table, 4, 4, capacity.data()) == 0;
  if (unit.sizeRead) unit.sectors = ReadLe32(capacity.data());

  std::array<std::uint8_t, kMaxDescriptor> d{};
  std::array<std::uint8_t, 2> lengthWord{};
  int length = 0;
  if (controller.GetParameter(table, 5, 2, lengthWord.data()) != 0) {
    failed("descriptor");
  } else {
    // Parameter 5's low byte is the descriptor length plus 3; below 3 there
    // is nothing to read.
    length = (ReadLe16(lengthWord.data()) & 0xFF) - 3;
  }
  if (length > 0 && controller.GetParameter(table, 6, static_cast<std::uint8_t>(length), d.data()) != 0) {
    failed("descriptor");
    length = 0;
  }
  // A unit is described by at least its member count, type, stripe (or
  // port) and service map.
  if (length < 4) {
    failed("descriptor");
    return unit;
  }
  unit.described = true;
  unit.memberCount = d[0];
  unit.type = d[1];
  unit.stripe = d[2];
  unit.notInService = d[3];
  ReadEntries(unit, controller, d.data(), length);
  return unit;
}

}  // namespace

bool UnitRead::ReadWhole() const {
  if (!statusRead || !described || entriesMissing > 0) return false;
  for (const SubunitRead& subunit : subunits) {
    if (!subunit.hasStatus) return false;
  }
  return true;
}

ControllerInventory ReadInventory(ControllerInfo& controller) {
  ControllerInventory inventory;
  // Read and not used, in the order the controller expects them.
  std::array<std::uint8_t, 16> scratch{};
  controller.GetParameter(2, 2, 2, scratch.data());
  controller.GetParameter(2, 3, 16, scratch.data());
  // The unit count only agrees or disagrees with the units found; the
  // presence map decides which units exist.
  controller.GetParameter(3, 2, 2, scratch.data());
  std::array<std::uint8_t, kUnitSlots> presence{};
  inventory.unitMapRead = controller.GetParameter(3, 3, kUnitSlots, presence.data()) == 0;
  if (!inventory.unitMapRead) {
    inventory.unitMapFault = FaultOf(controller);
    return inventory;
  }
  for (int n = 0; n < kUnitSlots; ++n) {
    if (presence[static_cast<std::size_t>(n)] != 0) inventory.units.push_back(ReadUnit(controller, n));
  }
  return inventory;
}

}  // namespace kivo
