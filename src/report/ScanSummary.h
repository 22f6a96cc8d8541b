// ScanSummary: the outcome of an inventory scan as plain values (each
// controller with its units, their subunits and drives, and the errors the
// scan met) for the machine-readable outputs: metrics, the JSON document and
// the monitoring-plugin check. Built on the scanning thread after the scan.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "controller/ControllerInfo.h"
#include "report/InventoryScan.h"

namespace kivo {

enum class DriveState { kInService = 0, kNotInService = 1, kInaccessible = 2 };

struct DriveSummary {
  int member = 0;  // its place in the unit's rows
  int port = -1;   // -1: the controller cannot reach the drive
  // Device texts in printable ASCII ('?' for any other byte), without the
  // blanks around them; empty for an inaccessible drive.
  std::string model;
  std::string serial;
  bool hasSize = false;
  std::uint64_t sizeBytes = 0;
  DriveState state = DriveState::kInService;
  const char* StatusText() const;  // "In Service", "Not in Service", "Error"
};

// A RAID 10 unit's mirror.
struct SubunitSummary {
  std::string type;
  std::string status;
};

struct UnitSummary {
  int number = 0;
  std::string type;  // "Striped with Parity 64K (RAID 5)", "Hot Spare Disk", ...
  std::uint8_t statusCode = 0;
  std::string status;  // "OK", "Rebuilding", "Degraded Incomplete", ...
  std::uint64_t sizeBytes = 0;
  // The unit, a subunit or a drive needs attention (units and subunits must
  // read "OK" or "Normal"; drives must be in service).
  bool needsAttention = false;
  std::vector<SubunitSummary> subunits;
  std::vector<DriveSummary> drives;
};

struct ControllerSummary {
  int id = 0;
  ControllerScanState state = ControllerScanState::kNotReached;
  const char* StatusText() const;  // "OK", "Open Failed", "Driver Query Failed", "Not Read"
  // Version texts, filled when the controller was read.
  std::string model, driver, monitor, firmware, bios, pcba, aChip, pChip;
  std::vector<UnitSummary> units;
};

struct ScanSummary {
  int controllerCount = 0;
  std::vector<ControllerSummary> controllers;
  // Why the scan is incomplete, one sentence each; empty when it is not.
  std::vector<std::string> errors;

  bool Complete() const { return errors.empty(); }
  int UnitCount() const;
  int DriveCount() const;
  int AttentionCount() const;  // units that need attention

  // The scan that just filled `records` (its controller ids are those
  // MachineInfo holds).
  static ScanSummary Of(ControllerRecords& records, const ScanOutcome& outcome);
};

// Printable ASCII of a device text, without the blanks around it.
std::string PrintableText(const char* text);

}  // namespace kivo
