// The Prometheus metrics of a scan and their atomic write; see
// PrometheusMetrics.h. The exposition format wants every sample of a metric
// family together under its HELP and TYPE lines, so samples are gathered per
// family first and printed family by family.
#include "report/PrometheusMetrics.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "controller/StatusText.h"
#include "platform/FileWriter.h"
#include "report/DiskReport.h"

namespace kivo {
namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

// Device texts may hold any byte; a label value must be UTF-8 and a line may
// not break, so anything outside printable ASCII becomes '?'.
std::string LabelValue(const char* text) {
  std::string value;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '"') value += '\\';
    value += (*c >= 0x20 && *c < 0x7F) ? *c : '?';
  }
  std::size_t first = value.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

std::string Number(std::uint64_t value) {
  char text[24];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc{} ? std::string(text, end) : std::string("0");
}

struct Family {
  const char* name;
  const char* help;
  std::vector<std::string> samples;

  void Add(const Labels& labels, std::uint64_t value) {
    std::string line = name;
    if (!labels.empty()) {
      line += '{';
      for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i != 0) line += ',';
        line += labels[i].first;
        line += "=\"" + labels[i].second + '"';
      }
      line += '}';
    }
    samples.push_back(line + ' ' + Number(value) + '\n');
  }
};

struct Families {
  Family scanSuccess{
      "kivo_scan_success", "1 when controllers were found and every one of them was read, 0 otherwise.", {}};
  Family controllers{"kivo_controllers", "Number of Zelka controllers the driver reports.", {}};
  Family controllerStatus{"kivo_controller_status",
                          "How far the scan got with a controller: 0 read, 1 could not be opened, 2 driver "
                          "query failed, 3 not read (driver level mismatch).",
                          {}};
  Family controllerInfo{
      "kivo_controller_info", "Model and versions of a controller that was read; always 1.", {}};
  Family unitStatus{
      "kivo_unit_status", "Status byte of a unit as the controller reports it (255 is OK).", {}};
  Family unitSize{"kivo_unit_size_bytes", "Capacity of a unit in bytes.", {}};
  Family unitAttention{"kivo_unit_needs_attention",
                       "1 when the unit, one of its subunits or one of its drives needs attention.",
                       {}};
  Family driveStatus{
      "kivo_drive_status", "Status of a drive: 0 in service, 1 not in service, 2 inaccessible.", {}};
  Family driveSize{"kivo_drive_size_bytes", "Size of a drive's part of its unit in bytes.", {}};
  Family driveInfo{"kivo_drive_info", "Model and serial number of a drive; always 1.", {}};

  std::string Text() const {
    std::string text;
    for (const Family* family : {&scanSuccess, &controllers, &controllerStatus, &controllerInfo, &unitStatus,
                                 &unitSize, &unitAttention, &driveStatus, &driveSize, &driveInfo}) {
      if (family->samples.empty()) continue;
      text += std::string("# HELP ") + family->name + ' ' + family->help + '\n';
      text += std::string("# TYPE ") + family->name + " gauge\n";
      for (const std::string& sample : family->samples) text += sample;
    }
    return text;
  }
};

bool Is(const char* text, const char* word) {
  return std::strcmp(text, word) == 0;
}

// A unit, subunit or drive row needs attention by the rule kivo-report's exit
// status follows: units and subunits must read exactly "OK" or "Normal",
// drives must not read "Not in Service" or "Error".
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

// Groups a record's rows by unit. The rows follow the present units in
// ascending order; an array unit's row names its number, a single-drive
// unit takes the next present unit after the group before it.
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
  std::string model = LabelValue(row.typeText.data());
  std::size_t open = model.rfind('(');
  if (open == std::string::npos || model.back() != ')') return "Single Drive";
  return model.substr(open + 1, model.size() - open - 2);
}

std::string PortOf(const DisplayRow& row) {
  int port = -1;
  if (std::sscanf(row.nameText.data(), " Port %d", &port) != 1) return "";
  return Number(static_cast<std::uint64_t>(port));
}

void AddDrives(Families& out, const std::string& controller, const std::string& unit, ControllerInfo& record,
               const RowGroup& group) {
  int member = 0;
  for (int r = group.first; r < group.first + group.count; ++r) {
    const DisplayRow& row = record.Rows()[r];
    if (row.isArrayUnit == 1 || row.kind == 6) continue;
    Labels labels = {{"controller", controller},
                     {"unit", unit},
                     {"member", Number(static_cast<std::uint64_t>(member++))},
                     {"port", PortOf(row)}};
    const char* status = row.statusText.data();
    std::uint64_t state = Is(status, "Error") ? 2 : Is(status, "Not in Service") ? 1 : 0;
    Labels withStatus = labels;
    withStatus.emplace_back("status", state == 2 ? "Error" : state == 1 ? "Not in Service" : "In Service");
    out.driveStatus.Add(withStatus, state);
    if (state != 2) {
      Labels info = labels;
      info.emplace_back("model", LabelValue(row.typeText.data()));
      info.emplace_back("serial", LabelValue(row.serialText.data()));
      out.driveInfo.Add(info, 1);
    }
    char* end = nullptr;
    const char* sectors = row.sectorsText.data();
    unsigned long long value = std::strtoull(sectors, &end, 10);
    if (end != sectors && *end == '\0') out.driveSize.Add(labels, static_cast<std::uint64_t>(value) * 512u);
  }
}

void AddUnits(Families& out, const std::string& controller, ControllerInfo& record) {
  std::vector<RowGroup> groups = GroupRows(record);
  const UnitSlot* slots = record.UnitSlots();
  for (int n = 0; n < kUnitSlots; ++n) {
    const UnitSlot& slot = slots[n];
    if (slot.present == 0) continue;
    std::string unit = Number(static_cast<std::uint64_t>(n));
    StatusTextBuffer status{};
    UnitStatusText(slot.status, status);
    const RowGroup* group = nullptr;
    for (const RowGroup& g : groups) {
      if (g.unitNumber == n) group = &g;
    }
    std::string type;
    bool attention = false;
    if (group != nullptr) {
      const DisplayRow& head = record.Rows()[group->first];
      type = head.isArrayUnit == 1 ? LabelValue(head.typeText.data()) : SingleDriveType(head);
      for (int r = group->first; r < group->first + group->count; ++r) {
        attention = attention || NeedsAttention(record.Rows()[r]);
      }
    } else {
      // No rows: the unit could not be described; its status byte still counts.
      attention = !Is(status.data(), "OK") && !Is(status.data(), "Normal");
    }
    out.unitStatus.Add(
        {{"controller", controller}, {"unit", unit}, {"type", type}, {"status", LabelValue(status.data())}},
        slot.status);
    out.unitSize.Add({{"controller", controller}, {"unit", unit}},
                     static_cast<std::uint64_t>(slot.capacity) * 512u);
    out.unitAttention.Add({{"controller", controller}, {"unit", unit}}, attention ? 1 : 0);
    if (group != nullptr) AddDrives(out, controller, unit, record, *group);
  }
}

}  // namespace

std::string PrometheusMetrics::Render(ControllerRecords& records, const ScanOutcome& outcome) {
  Families out;
  int count = outcome.controllerCount < ControllerRecords::kCount ? outcome.controllerCount
                                                                  : ControllerRecords::kCount;
  bool allRead = count > 0;
  for (int i = 0; i < count; ++i) {
    ControllerScanState state = outcome.states[static_cast<std::size_t>(i)];
    std::string controller = Number(static_cast<std::uint64_t>(MachineInfo().ControllerIdAt(i)));
    static constexpr const char* kStateText[] = {"Not Read", "OK", "Open Failed", "Driver Query Failed"};
    static constexpr std::uint64_t kStateNumber[] = {3, 0, 1, 2};
    auto index = static_cast<std::size_t>(state);
    out.controllerStatus.Add({{"controller", controller}, {"status", kStateText[index]}},
                             kStateNumber[index]);
    if (state != ControllerScanState::kRead) {
      allRead = false;
      continue;
    }
    ControllerInfo& record = records[i];
    out.controllerInfo.Add({{"controller", controller},
                            {"model", LabelValue(record.ModelText())},
                            {"firmware", LabelValue(record.FirmwareText())},
                            {"bios", LabelValue(record.BiosText())},
                            {"driver", LabelValue(record.DriverText())}},
                           1);
    if (record.HasTables()) AddUnits(out, controller, record);
  }
  out.scanSuccess.Add({}, allRead && !outcome.levelMismatch && outcome.callFailures.empty() ? 1 : 0);
  out.controllers.Add({},
                      static_cast<std::uint64_t>(outcome.controllerCount < 0 ? 0 : outcome.controllerCount));
  return out.Text();
}

bool PrometheusMetrics::WriteAtomically(const std::string& path, const std::string& text,
                                        std::string* error) {
  auto fail = [&](const std::string& what, int code) {
    if (error != nullptr) *error = what + ": " + std::strerror(code);
    return false;
  };
  if (path.empty()) return fail("no file named", EINVAL);
  // Readable by all: the node exporter runs as another user.
  if (!platform::ReplaceFileWhole(platform::SystemFileWriter(), path, text.data(), text.size(), 0644)) {
    return fail("cannot write " + path, errno);
  }
  return true;
}

}  // namespace kivo
