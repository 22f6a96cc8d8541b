// ScanSummary: the outcome of an inventory scan as plain values (each
// controller with its units, their subunits and drives, and the errors the
// scan met) for the machine-readable outputs: metrics, the JSON document and
// the monitoring-plugin check. Built on the scanning thread after the scan,
// from what the scan read (ScanInventory), not from the report's rows.
//
// The rules all three outputs follow:
// - A unit needs attention when anything read of it says so: its own status
//   (a single drive's too) or a RAID 10 subunit's is not exactly "OK" or
//   "Normal", or one of its drives is not in service or inaccessible. It
//   does not when it was read whole and all is well; otherwise (a unit not
//   read whole with nothing wrong seen) it is not known.
// - A unit is read whole when its status, its whole descriptor and the
//   status of each subunit were read. A read the controller refuses (a
//   packet status) or cannot answer (a system error) leaves its value
//   unknown; a unit not read whole makes the scan incomplete, and so does
//   any device call failing with a system error. A refused description of a
//   drive (model, serial) or of a unit's size only leaves that value unknown.
// - Device texts are cut at their first zero byte, white space at both ends
//   is removed, and any byte outside printable ASCII reads as '?'.
// - A single-drive unit's type is its role: "Independent Disk" (code 15),
//   "Hot Spare Disk" (13), "RAID Disk" (12), "Single Drive" (any other code);
//   its drive's model is the drive's own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controller/ControllerInfo.h"
#include "report/InventoryScan.h"

namespace kivo {

enum class DriveState { kInService = 0, kNotInService = 1, kInaccessible = 2 };

struct DriveSummary {
  int member = 0;  // its place among the unit's drives
  int port = -1;   // -1: the controller cannot reach the drive
  // The drive's own texts; none when not read (refused, failed, an
  // inaccessible drive, a port the controller does not have).
  std::optional<std::string> model;
  std::optional<std::string> serial;
  std::uint64_t sizeBytes = 0;  // the drive's part of its unit, as the descriptor records it
  DriveState state = DriveState::kInService;
  const char* StatusText() const;  // "In Service", "Not in Service", "Error"
};

// A RAID 10 unit's mirror.
struct SubunitSummary {
  std::string type;
  std::optional<std::string> status;  // none: the status header does not carry it
};

struct UnitSummary {
  int number = 0;
  bool read = false;  // read whole
  // Known when the unit's descriptor was read.
  std::optional<std::string> type;  // "Striped with Parity 64K (RAID 5)", "Hot Spare Disk", ...
  std::optional<int> typeCode;
  // Known when the unit's status was read.
  std::optional<std::uint8_t> statusCode;
  std::optional<std::string> status;  // "OK", "Rebuilding", "Degraded Incomplete", ...
  std::optional<std::uint64_t> sizeBytes;
  std::optional<bool> needsAttention;
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
  // Those of them about unit maps and units, which no error box shows.
  std::vector<std::string> unitErrors;

  bool Complete() const { return errors.empty(); }
  int UnitCount() const;
  int DriveCount() const;
  int AttentionCount() const;  // units that need attention
  // kivo-report's status for the report and the JSON document: 2 when a
  // unit needs attention, otherwise 1 when the scan is incomplete, else 0.
  int ExitStatus() const;

  // The scan that just filled `records` (its controller ids are those
  // MachineInfo holds).
  static ScanSummary Of(ControllerRecords& records, const ScanOutcome& outcome);
};

// A device text as the outputs give it (see the rules above).
std::string PrintableText(const char* text);

}  // namespace kivo
