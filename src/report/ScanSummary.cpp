// ScanSummary: the inventory of a finished scan as units and drives, and the
// sentences that say why a scan is incomplete; see ScanSummary.h.
#include "report/ScanSummary.h"

#include <cstdio>
#include <cstring>

#include "controller/StatusText.h"
#include "report/DiskReport.h"

namespace kivo {
namespace {

bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool Well(const std::string& status) {
  return status == "OK" || status == "Normal";
}

std::string StatusWords(std::uint8_t status) {
  StatusTextBuffer text{};
  UnitStatusText(status, text);
  return PrintableText(text.data());
}

std::string UnitType(const UnitRead& unit) {
  if (unit.SingleDrive()) {
    switch (unit.type) {
      case 15:
        return "Independent Disk";
      case 13:
        return "Hot Spare Disk";
      case 12:
        return "RAID Disk";
      default:
        return "Single Drive";
    }
  }
  StatusTextBuffer text{};
  RaidTypeText(unit.type, unit.stripe, text);
  return PrintableText(text.data());
}

DriveSummary Drive(const DriveRead& read, int member) {
  DriveSummary drive;
  drive.member = member;
  drive.sizeBytes = static_cast<std::uint64_t>(read.entry.sectors) * 512u;
  if (read.Inaccessible()) {
    drive.state = DriveState::kInaccessible;
    return drive;
  }
  drive.port = read.entry.port;
  drive.state = read.outOfService ? DriveState::kNotInService : DriveState::kInService;
  if (read.identityAsked && read.identity.modelRead) drive.model = PrintableText(read.identity.model.data());
  if (read.identityAsked && read.identity.serialRead)
    drive.serial = PrintableText(read.identity.serial.data());
  return drive;
}

UnitSummary Unit(const UnitRead& read) {
  UnitSummary unit;
  unit.number = read.number;
  unit.read = read.ReadWhole();
  bool trouble = false;
  if (read.statusRead) {
    unit.statusCode = read.status;
    unit.status = StatusWords(read.status);
    trouble = !Well(*unit.status);
  }
  if (read.sizeRead) unit.sizeBytes = static_cast<std::uint64_t>(read.sectors) * 512u;
  if (read.described) {
    unit.type = UnitType(read);
    unit.typeCode = read.type;
  }
  for (const SubunitRead& subunitRead : read.subunits) {
    SubunitSummary subunit{"Mirror (RAID 1)", std::nullopt};
    if (subunitRead.hasStatus) {
      subunit.status = StatusWords(subunitRead.status);
      trouble = trouble || !Well(*subunit.status);
    }
    unit.subunits.push_back(subunit);
  }
  for (const DriveRead& driveRead : read.drives) {
    unit.drives.push_back(Drive(driveRead, static_cast<int>(unit.drives.size())));
    trouble = trouble || unit.drives.back().state != DriveState::kInService;
  }
  if (trouble || unit.read) unit.needsAttention = trouble;
  return unit;
}

std::string Why(const ReadFault& fault) {
  char text[64];
  if (fault.systemError != 0) {
    std::snprintf(text, sizeof text, "system error %lu", static_cast<unsigned long>(fault.systemError));
  } else if (fault.packetStatus != 0) {
    std::snprintf(text, sizeof text, "refused, packet status 0x%02x", fault.packetStatus);
  } else {
    return "too short";
  }
  return text;
}

// Why a unit was not read whole, in one sentence.
std::string NotWhole(const UnitRead& unit, int controller) {
  char text[200];
  const int head = std::snprintf(text, sizeof text,
                                 "unit %d on controller %d was not read whole: ", unit.number, controller);
  char* rest = text + head;
  const std::size_t room = sizeof text - static_cast<std::size_t>(head);
  if (unit.faultPart != nullptr) {
    std::snprintf(rest, room, "its %s could not be read (%s)", unit.faultPart, Why(unit.fault).c_str());
  } else if (unit.entriesMissing > 0) {
    std::snprintf(rest, room, "its descriptor lists %d more entries than it holds", unit.entriesMissing);
  } else {
    std::size_t number = 0;
    while (number < unit.subunits.size() && unit.subunits[number].hasStatus) ++number;
    std::snprintf(rest, room, "subunit %zu has no status", number);
  }
  return text;
}

void AddUnits(ScanSummary& summary, ControllerSummary& controller, const ControllerInventory& inventory) {
  char text[200];
  if (!inventory.unitMapRead) {
    std::snprintf(text, sizeof text, "the unit map of controller %d could not be read (%s)", controller.id,
                  Why(inventory.unitMapFault).c_str());
    summary.unitErrors.push_back(text);
  }
  for (const UnitRead& read : inventory.units) {
    controller.units.push_back(Unit(read));
    if (!read.ReadWhole()) summary.unitErrors.push_back(NotWhole(read, controller.id));
  }
}

std::string Sentence(const char* format, int controller) {
  char text[160];
  std::snprintf(text, sizeof text, format, controller);
  return text;
}

}  // namespace

std::string PrintableText(const char* text) {
  std::size_t begin = 0;
  std::size_t end = std::strlen(text);
  while (begin < end && IsWhite(text[begin])) ++begin;
  while (end > begin && IsWhite(text[end - 1])) --end;
  std::string value;
  for (std::size_t i = begin; i < end; ++i) value += (text[i] >= 0x20 && text[i] < 0x7F) ? text[i] : '?';
  return value;
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
    for (const UnitSummary& unit : controller.units) count += unit.needsAttention.value_or(false) ? 1 : 0;
  }
  return count;
}

int ScanSummary::ExitStatus() const {
  if (AttentionCount() > 0) return 2;
  return Complete() ? 0 : 1;
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
      const ControllerInfo& record = records[i];
      controller.model = PrintableText(record.ModelText());
      controller.driver = PrintableText(record.DriverText());
      controller.monitor = PrintableText(record.MonitorText());
      controller.firmware = PrintableText(record.FirmwareText());
      controller.bios = PrintableText(record.BiosText());
      controller.pcba = PrintableText(record.PcbaText());
      controller.aChip = PrintableText(record.AChipText());
      controller.pChip = PrintableText(record.PChipText());
      const std::size_t before = summary.unitErrors.size();
      AddUnits(summary, controller, outcome.inventories[static_cast<std::size_t>(i)]);
      summary.errors.insert(summary.errors.end(), summary.unitErrors.begin() + static_cast<long>(before),
                            summary.unitErrors.end());
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
