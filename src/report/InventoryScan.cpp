// The inventory scan and its report lines; see InventoryScan.h.
//
// What the controller says of its units is read whole (ScanInventory); at
// most the 64 display rows of a record are laid out from it.
#include "report/InventoryScan.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "controller/StatusText.h"
#include "platform/Desktop.h"
#include "platform/Registry.h"
#include "report/DiskReport.h"
#include "report/ReportText.h"
#include "report/ScanInventory.h"

namespace kivo {
namespace {

constexpr char kErrorCaption[] = "Zelka Error Message";
constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Control\\Zelka Storage Controller";
constexpr int kLineSize = 4096;

std::atomic<bool> errorBoxes{false};

// Formats one report line into the 4096-character line buffer.
struct Line {
  std::array<char, kLineSize> text{};
  Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
  }
  const char* c_str() const { return text.data(); }
};

void AppendLine(const Line& line) {
  ReportText().Append(line.c_str());
}

void ClearRows(ControllerInfo& record) {
  if (record.HasTables()) {
    std::memset(static_cast<void*>(record.Rows()), 0, sizeof(DisplayRow) * kDisplayRows);
  }
  record.rowCount = 0;
}

// Hands out the record's display rows in order and refuses past the last.
class RowCursor {
 public:
  explicit RowCursor(ControllerInfo& record) : record_(record) {}
  DisplayRow* Next() {
    if (filled_ >= kDisplayRows) return nullptr;
    return &record_.Rows()[filled_++];
  }
  int Filled() const { return filled_; }

 private:
  ControllerInfo& record_;
  int filled_ = 0;
};

void LayOutUnit(RowCursor& rows, const UnitSlot& slot, const UnitRead& unit) {
  if (unit.SingleDrive()) {
    DisplayRow* row = rows.Next();
    if (row == nullptr) return;
    row->kind = 0;
    const DriveRead& drive = unit.drives.front();
    WriteDriveRow(unit.type, unit.notInService, drive.entry, drive.identityAsked ? &drive.identity : nullptr,
                  *row, 0);
    if (unit.type == 15) AppendText(row->typeText, " (Independent Disk)");
    if (unit.type == 13) AppendText(row->typeText, " (Hot Spare Disk)");
    if (unit.type == 12) AppendText(row->typeText, " (RAID Disk)");
    return;
  }

  DisplayRow* unitRow = rows.Next();
  if (unitRow == nullptr) return;
  unitRow->kind = 1;
  unitRow->isArrayUnit = 1;
  std::snprintf(unitRow->nameText.data(), unitRow->nameText.size(), "Array Unit %d", unit.number);
  RaidTypeText(unit.type, unit.stripe, unitRow->typeText);
  CapacityText(slot.capacity, unitRow->sizeText);
  std::snprintf(unitRow->sectorsText.data(), unitRow->sectorsText.size(), "%u",
                static_cast<unsigned>(slot.capacity));
  UnitStatusText(slot.status, unitRow->statusText);

  for (const EntryRef& ref : unit.entries) {
    if (ref.subunit) {
      const SubunitRead& subunit = unit.subunits[static_cast<std::size_t>(ref.index)];
      DisplayRow* row = rows.Next();
      if (row == nullptr) return;
      row->kind = 6;
      std::snprintf(row->nameText.data(), row->nameText.size(), "   Subunit %i", ref.index);
      CopyText(row->typeText, "Mirror (RAID 1)");
      // The status header carries four subunits; a fifth has no status.
      if (subunit.hasStatus) UnitStatusText(subunit.status, row->statusText);
      continue;
    }
    const DriveRead& drive = unit.drives[static_cast<std::size_t>(ref.index)];
    if (!drive.shown) continue;  // no such port on the controller: no row
    DisplayRow* row = rows.Next();
    if (row == nullptr) return;
    row->kind = 1;
    WriteDriveRow(unit.type, unit.notInService, drive.entry, drive.identityAsked ? &drive.identity : nullptr,
                  *row, drive.subunit);
  }
}

// Reads the units of the open controller and lays the record's rows out from
// what was read; at most the 64 display rows are filled, while the inventory
// keeps every unit and drive.
ControllerInventory ScanUnits(ControllerInfo& record, int allocate) {
  ControllerInventory inventory = ReadInventory(record);
  if (allocate != 0 || !record.HasTables()) record.AllocateTables();
  ClearRows(record);

  UnitSlot* slots = record.UnitSlots();
  for (int n = 0; n < kUnitSlots; ++n) slots[n] = UnitSlot{};
  RowCursor rows(record);
  for (const UnitRead& unit : inventory.units) {
    UnitSlot& slot = slots[unit.number];
    slot.present = 1;
    slot.unitNumber = unit.number;
    slot.status = unit.status;
    slot.capacity = unit.sizeRead ? unit.sectors : 0;
    // A unit whose descriptor could not be read gets no rows rather than
    // invented ones.
    if (unit.described) LayOutUnit(rows, slot, unit);
  }
  record.rowCount = rows.Filled();
  return inventory;
}

}  // namespace

bool ErrorBoxesEnabled() {
  return errorBoxes.load();
}
void SetErrorBoxesEnabled(bool enabled) {
  errorBoxes.store(enabled);
}

void ReportError(const platform::PlatformContext& context, const char* text) {
  if (!ErrorBoxesEnabled() || context.messageBoxes == nullptr) return;
  context.messageBoxes->MessageBoxA(false, text, kErrorCaption, platform::MB_ICONERROR);
}

void QueryVersionText(ControllerInfo& controller, std::uint16_t table, std::uint8_t parameter,
                      std::uint8_t size, const char* label, std::array<char, 128>& out) {
  std::array<char, 256> bytes{};
  if (controller.GetParameter(table, parameter, size, bytes.data()) != 0) {
    AppendLine(
        Line("Error querying %s, %s (%x)\r\n", label, controller.ErrorText(), controller.LastStatus()));
    CopyText(out, "Unknown");
    return;
  }
  std::size_t length = ::strnlen(bytes.data(), size);
  if (length > out.size() - 1) length = out.size() - 1;
  std::memcpy(out.data(), bytes.data(), length);
  out[length] = '\0';
  AppendLine(Line("%s: %s\r\n", label, out.data()));
}

void WriteRowText(const ControllerInfo& record) {
  if (!record.HasTables()) return;
  int count = record.rowCount < kDisplayRows ? record.rowCount : kDisplayRows;
  for (int i = 0; i < count; ++i) {
    const DisplayRow& row = record.Rows()[i];
    AppendLine(Line("%.127s\t\t%.127s\t%.127s\t%.127s\t%.127s\t%.127s\r\n", row.nameText.data(),
                    row.typeText.data(), row.serialText.data(), row.sizeText.data(), row.sectorsText.data(),
                    row.statusText.data()));
  }
}

int ReadServiceVersion(const platform::PlatformContext& context, std::array<char, 128>& out) {
  if (context.registry == nullptr) return 1;
  platform::Registry& registry = *context.registry;
  platform::HKEY key = 0;
  if (registry.RegOpenKeyA(platform::HKEY_LOCAL_MACHINE, kServiceKey, &key) != 0) return 1;
  platform::DWORD type = 0;
  platform::DWORD size = 0;
  if (registry.RegQueryValueExA(key, "Service Version", nullptr, &type, nullptr, &size) != 0 ||
      type != platform::REG_SZ) {
    registry.RegCloseKey(key);
    return 1;
  }
  std::vector<platform::BYTE> data(static_cast<std::size_t>(size) + 1, 0);
  if (registry.RegQueryValueExA(key, "Service Version", nullptr, &type, data.data(), &size) != 0) {
    registry.RegCloseKey(key);
    return 1;
  }
  data.back() = 0;  // a value stored without its NUL still ends here
  CopyText(out, reinterpret_cast<const char*>(data.data()));
  registry.RegCloseKey(key);
  return 0;
}

void ScanControllers(int allocate, ControllerRecords& records) {
  ScanControllers(allocate, records, nullptr);
}

void ScanControllers(int allocate, ControllerRecords& records, ScanOutcome* outcome) {
  ScanOutcome seen;
  const platform::PlatformContext& context = records[0].Context();
  BuildReportHeader(context);
  CollectControllerIds(records);
  int count = MachineInfo().ControllerCount();
  seen.controllerCount = count;

  if (count == 0) {
    ReportText().Append(
        "Disk controller not present or unreachable.\r\nNote that disk storage must be attached to the\r\n"
        "controller in order for it to be recognized.\r\n");
  } else {
    AppendLine(
        Line(count == 1 ? "%d Disk controller present\r\n" : "%d Disk controllers present\r\n", count));
  }

  for (int i = 0; i < count && i < ControllerRecords::kCount; ++i) {
    ControllerInfo& record = records[i];
    record.Initialise();

    std::uint32_t level = 0;
    std::uint32_t extra = 0;
    record.DriverLevel(&level, &extra);
    level &= 0xFFFF;
    if (level == 0 || level > 6) {
      Line message = level == 0 ? Line(
                                      "This version of Kivo is incompatible with your currently installed "
                                      "driver. The Kivo version "
                                      "is more recent than the driver. It is recommended that you upgrade "
                                      "the driver.  \r\n\r\nA "
                                      "more recent version of the driver can be found at: %s.",
                                      kSupportAddress)
                                : Line(
                                      "This version of Kivo is incompatible with your currently installed "
                                      "driver. The Kivo version "
                                      "is older than the driver.  It is recommended that you upgrade Kivo.  "
                                      "\r\n\r\nA more recent "
                                      "version of Kivo can be found at: %s.",
                                      kSupportAddress);
      AppendLine(message);
      ReportError(context, message.c_str());
      seen.levelMismatch = true;
      break;
    }

    // The id of the list the count came from: a device that stops answering
    // between two probes must not shift the ids of later records.
    int id = MachineInfo().ControllerIdAt(i);
    AppendLine(Line("\r\nController SCSI ID: %d\r\n", id));

    if (record.Open(id) != 0) {
      Line text("Error opening controller %d, %s (%x)\r\n", id, record.ErrorText(), record.LastStatus());
      ReportError(context, text.c_str());
      AppendLine(text);
      // Rows of an earlier scan would show units that were not read now.
      ClearRows(record);
      ++seen.openFailures;
      seen.states[static_cast<std::size_t>(i)] = ControllerScanState::kOpenFailed;
      continue;
    }
    if (record.QueryDriver() != 0) {
      Line text("Error querying driver for controller %d, %s (%x)\r\n", id, record.ErrorText(),
                record.LastStatus());
      record.Close();
      ReportError(context, text.c_str());
      AppendLine(text);
      ClearRows(record);
      ++seen.queryFailures;
      seen.states[static_cast<std::size_t>(i)] = ControllerScanState::kQueryFailed;
      continue;
    }

    AppendLine(Line("Driver: %s\r\n", record.DriverText()));
    std::array<char, 128> service{};
    if (record.VsdText()[0] != '\0') {
      AppendLine(Line("VSD: %s\r\n", record.VsdText()));
    } else if (ReadServiceVersion(context, service) == 0) {
      AppendLine(Line("Service: %s\r\n", service.data()));
    }

    struct VersionField {
      const char* label;
      std::uint8_t parameter;
      std::uint8_t size;
      void (ControllerInfo::*set)(const char*);
    };
    static constexpr VersionField kVersions[] = {
        {"Monitor", 2, 16, &ControllerInfo::SetMonitorText},
        {"Firmware", 3, 16, &ControllerInfo::SetFirmwareText},
        {"BIOS", 4, 16, &ControllerInfo::SetBiosText},
        {"PCBA", 5, 8, &ControllerInfo::SetPcbaText},
        {"A Chip", 6, 8, &ControllerInfo::SetAChipText},
        {"P Chip", 7, 8, &ControllerInfo::SetPChipText},
        {"Model", 8, 16, &ControllerInfo::SetModelText},
    };
    for (const VersionField& field : kVersions) {
      std::array<char, 128> text{};
      QueryVersionText(record, 0x402, field.parameter, field.size, field.label, text);
      (record.*field.set)(text.data());
    }

    seen.inventories[static_cast<std::size_t>(i)] = ScanUnits(record, allocate);
    ++seen.controllersScanned;
    // Open and the driver query succeeded, so every failed call since the
    // open left a hole in what the report shows of this controller.
    if (record.FailedCalls() > 0) {
      seen.callFailures.push_back({id, record.FailedCalls(), record.FirstCallError()});
    }
    seen.states[static_cast<std::size_t>(i)] = ControllerScanState::kRead;

    ReportText().Append("\r\n");
    WriteRowText(record);
    ReportText().Append("\r\n");

    if (record.Close() != 0) {
      Line text("Error closing controller %d, %s (%x)\r\n", id, record.ErrorText(), record.LastStatus());
      ReportError(context, text.c_str());
      AppendLine(text);
      ++seen.closeFailures;
    }
  }
  ReportText().Append("\r\n");
  if (outcome != nullptr) *outcome = seen;
}

}  // namespace kivo
