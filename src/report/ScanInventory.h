// ScanInventory: what the inventory scan read of one open controller's units
// and drives, value by value and as the controller gave it, before any
// display row is laid out. It holds every present unit and every drive its
// descriptor lists, also those beyond the report's 64 rows, and says which
// reads the controller refused or could not answer. The scan lays its rows
// out from it; the faces for scripts and monitoring (ScanSummary) are built
// from it. Scanning thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "controller/ControllerInfo.h"
#include "controller/StatusText.h"

namespace kivo {

// Why a read gave no value: the controller refused it (a packet status) or
// the device call failed (a system error: a dropped connection, a driver
// that stopped answering).
struct ReadFault {
  std::uint8_t packetStatus = 0;
  std::uint32_t systemError = 0;
};

struct DriveRead {
  DriveEntry entry;  // port (0xFF: inaccessible), member index, recorded size
  int subunit = 0;   // the RAID 10 subunit it belongs to (-1 before the first)
  bool outOfService = false;
  // False for a member of an array other than RAID 10 whose port is above 8
  // (an inaccessible one too): the report shows no row for it.
  bool shown = true;
  bool identityAsked = false;  // shown and accessible

  DriveIdentity identity;
  bool Inaccessible() const { return entry.port == kPortInaccessible; }
};

struct SubunitRead {
  bool hasStatus = false;  // the status header carries four subunits at most
  std::uint8_t status = 0;
};

// One entry of a unit's descriptor in its order: a subunit or a drive.
struct EntryRef {
  bool subunit = false;
  int index = 0;  // into UnitRead::subunits or UnitRead::drives
};

struct UnitRead {
  int number = 0;
  bool statusRead = false;
  std::uint8_t status = 0;
  bool sizeRead = false;
  std::uint32_t sectors = 0;
  // The descriptor was read, at least its member count, type, stripe (or
  // port) and not-in-service map.
  bool described = false;
  std::uint8_t memberCount = 0;
  std::uint8_t type = 0;
  std::uint8_t stripe = 0;  // an array's stripe code; a single drive's port
  std::uint8_t notInService = 0;
  int entriesMissing = 0;  // entries the descriptor lists but does not carry
  // The first read that left this unit's state unknown, and what it was
  // ("status", "descriptor").
  const char* faultPart = nullptr;
  ReadFault fault;
  std::vector<SubunitRead> subunits;
  std::vector<DriveRead> drives;
  std::vector<EntryRef> entries;  // subunits and drives in descriptor order

  bool SingleDrive() const { return described && memberCount == 0; }
  // Everything that decides the unit's health was read: its status, its
  // descriptor whole, the status of every subunit.
  bool ReadWhole() const;
};

struct ControllerInventory {
  bool unitMapRead = false;
  ReadFault unitMapFault;
  std::vector<UnitRead> units;  // the present units, in ascending order
};

// Reads the units of the open controller: the unit count (not used), the
// presence map, then for every present unit its status, size, descriptor and
// the identity of each drive it lists, in that order.
ControllerInventory ReadInventory(ControllerInfo& controller);

}  // namespace kivo
