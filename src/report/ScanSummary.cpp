// ScanSummary: the records of a finished scan read back into units and
// drives. The rows follow the present units in ascending order; an array
// unit's row names its number, a single-drive unit takes the next present
// unit after the group before it.
#include "report/ScanSummary.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "controller/StatusText.h"
#include "report/DiskReport.h"

namespace kivo {
namespace {

bool Is(const char* text, const char* word) {
  return std::strcmp(text, word) == 0;
}

// Units and subunits must read exactly "OK" or "Normal"; drives must not read
// "Not in Service" or "Error" (kivo-report's exit status follows the same rule).
bool NeedsAttention(const DisplayRow& row) {
  const char* status = row.statusText.data();
  if (row.isArrayUnit == 1 || row.kind == 6) return !Is(status, "OK") && !Is(status, "Normal");
  return Is(status, "Not in Service") || Is(status, "Error");
}

// The rows of one unit: an array unit's row with its members and subunits,
// or the one row of a single-drive unit.
struct RowGroup {
  int unitNumber = -1;
  int first = 0;
  int count = 0;
};

std::vector<RowGroup> GroupRows(ControllerInfo& record) {
  std::vector<RowGroup> groups;
  if (!record.HasTables()) return groups;
  const UnitSlot* slots = record.UnitSlots();
  int count = record.rowCount < kDisplayRows ? record.rowCount : kDisplayRows;
  int last = -1;
  for (int r = 0; r < count; ++r) {
    const DisplayRow& row = record.Rows()[r];
    bool startsUnit = row.isArrayUnit == 1 || row.kind == 0;
    if (!startsUnit) {
      if (!groups.empty()) ++groups.back().count;
      continue;
    }
    int number = -1;
    if (row.isArrayUnit == 1) {
      if (std::sscanf(row.nameText.data(), "Array Unit %d", &number) != 1) number = -1;
    } else {
      for (int n = last + 1; n < kUnitSlots && number < 0; ++n) {
        if (slots[n].present != 0) number = n;
      }
    }
    if (number < 0 || number >= kUnitSlots) number = -1;
    if (number >= 0) last = number;
    groups.push_back({number, r, 1});
  }
  return groups;
}

// A single-drive unit's row names its role after the model: "(Hot Spare Disk)".
std::string SingleDriveType(const DisplayRow& row) {
  std::string model = PrintableText(row.typeText.data());
  std::size_t open = model.rfind('(');
  if (open == std::string::npos || model.back() != ')') return "Single Drive";
  return model.substr(open + 1, model.size() - open - 2);
}

int PortOf(const DisplayRow& row) {
  int port = -1;
  if (std::sscanf(row.nameText.data(), " Port %d", &port) != 1) return -1;
  return port;
}

void AddDrives(UnitSummary& unit, ControllerInfo& record, const RowGroup& group) {
  int member = 0;
  for (int r = group.first; r < group.first + group.count; ++r) {
    const DisplayRow& row = record.Rows()[r];
    if (row.kind == 6)
      unit.subunits.push_back({PrintableText(row.typeText.data()), PrintableText(row.statusText.data())});
    if (row.isArrayUnit == 1 || row.kind == 6) continue;
    DriveSummary drive;
    drive.member = member++;
    drive.port = PortOf(row);
    const char* status = row.statusText.data();
    drive.state = Is(status, "Error")            ? DriveState::kInaccessible
                  : Is(status, "Not in Service") ? DriveState::kNotInService
                                                 : DriveState::kInService;
    if (drive.state != DriveState::kInaccessible) {
      drive.model = PrintableText(row.typeText.data());
      drive.serial = PrintableText(row.serialText.data());
    }
    char* end = nullptr;
    const char* sectors = row.sectorsText.data();
    unsigned long long value = std::strtoull(sectors, &end, 10);
    if (end != sectors && *end == '\0') {
      drive.hasSize = true;
      drive.sizeBytes = static_cast<std::uint64_t>(value) * 512u;
    }
    unit.drives.push_back(drive);
  }
}

void AddUnits(ControllerSummary& controller, ControllerInfo& record) {
  std::vector<RowGroup> groups = GroupRows(record);
  const UnitSlot* slots = record.UnitSlots();
  for (int n = 0; n < kUnitSlots; ++n) {
    const UnitSlot& slot = slots[n];
    if (slot.present == 0) continue;
    UnitSummary unit;
    unit.number = n;
    unit.statusCode = slot.status;
    StatusTextBuffer status{};
    UnitStatusText(slot.status, status);
    unit.status = PrintableText(status.data());
    unit.sizeBytes = static_cast<std::uint64_t>(slot.capacity) * 512u;
    const RowGroup* group = nullptr;
    for (const RowGroup& g : groups) {
      if (g.unitNumber == n) group = &g;
    }
    if (group != nullptr) {
      const DisplayRow& head = record.Rows()[group->first];
      unit.type = head.isArrayUnit == 1 ? PrintableText(head.typeText.data()) : SingleDriveType(head);
      for (int r = group->first; r < group->first + group->count; ++r) {
        unit.needsAttention = unit.needsAttention || NeedsAttention(record.Rows()[r]);
      }
      AddDrives(unit, record, *group);
    } else {
      // No rows: the unit could not be described; its status byte still counts.
      unit.needsAttention = !Is(status.data(), "OK") && !Is(status.data(), "Normal");
    }
    controller.units.push_back(std::move(unit));
  }
}

std::string Sentence(const char* format, int controller) {
  char text[160];
  std::snprintf(text, sizeof text, format, controller);
  return text;
}

}  // namespace

std::string PrintableText(const char* text) {
  std::string value;
  for (const char* c = text; *c != '\0'; ++c) value += (*c >= 0x20 && *c < 0x7F) ? *c : '?';
  std::size_t first = value.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

const char* DriveSummary::StatusText() const {
  switch (state) {
    case DriveState::kInService:
      return "In Service";
    case DriveState::kNotInService:
      return "Not in Service";
    case DriveState::kInaccessible:
      return "Error";
  }
  return "Error";
}

const char* ControllerSummary::StatusText() const {
  switch (state) {
    case ControllerScanState::kNotReached:
      return "Not Read";
    case ControllerScanState::kRead:
      return "OK";
    case ControllerScanState::kOpenFailed:
      return "Open Failed";
    case ControllerScanState::kQueryFailed:
      return "Driver Query Failed";
  }
  return "Not Read";
}

int ScanSummary::UnitCount() const {
  int count = 0;
  for (const ControllerSummary& controller : controllers) count += static_cast<int>(controller.units.size());
  return count;
}

int ScanSummary::DriveCount() const {
  int count = 0;
  for (const ControllerSummary& controller : controllers) {
    for (const UnitSummary& unit : controller.units) count += static_cast<int>(unit.drives.size());
  }
  return count;
}

int ScanSummary::AttentionCount() const {
  int count = 0;
  for (const ControllerSummary& controller : controllers) {
    for (const UnitSummary& unit : controller.units) count += unit.needsAttention ? 1 : 0;
  }
  return count;
}

ScanSummary ScanSummary::Of(ControllerRecords& records, const ScanOutcome& outcome) {
  ScanSummary summary;
  summary.controllerCount = outcome.controllerCount < 0 ? 0 : outcome.controllerCount;
  const int count = summary.controllerCount < ControllerRecords::kCount ? summary.controllerCount
                                                                        : ControllerRecords::kCount;
  if (count == 0) summary.errors.push_back("no controller found");
  if (outcome.levelMismatch) {
    summary.errors.push_back(
        "the driver's interface level does not match this version; no controller was read");
  }
  for (int i = 0; i < count; ++i) {
    ControllerSummary controller;
    controller.id = MachineInfo().ControllerIdAt(i);
    controller.state = outcome.states[static_cast<std::size_t>(i)];
    if (controller.state == ControllerScanState::kOpenFailed) {
      summary.errors.push_back(Sentence("controller %d could not be opened", controller.id));
    } else if (controller.state == ControllerScanState::kQueryFailed) {
      summary.errors.push_back(Sentence("the driver of controller %d could not be queried", controller.id));
    } else if (controller.state == ControllerScanState::kNotReached && !outcome.levelMismatch) {
      summary.errors.push_back(Sentence("controller %d was not read", controller.id));
    }
    if (controller.state == ControllerScanState::kRead) {
      ControllerInfo& record = records[i];
      controller.model = PrintableText(record.ModelText());
      controller.driver = PrintableText(record.DriverText());
      controller.monitor = PrintableText(record.MonitorText());
      controller.firmware = PrintableText(record.FirmwareText());
      controller.bios = PrintableText(record.BiosText());
      controller.pcba = PrintableText(record.PcbaText());
      controller.aChip = PrintableText(record.AChipText());
      controller.pChip = PrintableText(record.PChipText());
      if (record.HasTables()) AddUnits(controller, record);
    }
    summary.controllers.push_back(std::move(controller));
  }
  for (const ScanOutcome::CallFailure& failure : outcome.callFailures) {
    char text[200];
    std::snprintf(
        text, sizeof text,
        "controller %d was not read completely: %d device call(s) failed, the first with system error "
        "%lu",
        failure.controllerId, failure.calls, static_cast<unsigned long>(failure.error));
    summary.errors.push_back(text);
  }
  return summary;
}

}  // namespace kivo
