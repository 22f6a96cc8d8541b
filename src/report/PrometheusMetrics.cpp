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

#include "platform/FileWriter.h"
#include "report/ScanSummary.h"

namespace kivo {
namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

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
      "kivo_scan_success",
      "1 when controllers were found and every one of them, with every unit, was read whole; 0 otherwise.",
      {}};
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
                       "1 when the unit, one of its subunits or one of its drives needs attention; 0 when "
                       "it was read whole and is well; no sample when it was not read whole.",
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

// A label value must be UTF-8 and a line may not break: the summary's texts
// are printable ASCII already, so only the backslash and the quote are
// escaped.
std::string LabelValue(const std::string& text) {
  std::string value;
  for (char c : text) {
    if (c == '\\' || c == '"') value += '\\';
    value += c;
  }
  return value;
}

void AddDrives(Families& out, const std::string& controller, const std::string& unit,
               const UnitSummary& summary) {
  for (const DriveSummary& drive : summary.drives) {
    Labels labels = {{"controller", controller},
                     {"unit", unit},
                     {"member", Number(static_cast<std::uint64_t>(drive.member))},
                     {"port", drive.port < 0 ? "" : Number(static_cast<std::uint64_t>(drive.port))}};
    Labels withStatus = labels;
    withStatus.emplace_back("status", drive.StatusText());
    out.driveStatus.Add(withStatus, static_cast<std::uint64_t>(drive.state));
    if (drive.model && drive.serial) {
      Labels info = labels;
      info.emplace_back("model", LabelValue(*drive.model));
      info.emplace_back("serial", LabelValue(*drive.serial));
      out.driveInfo.Add(info, 1);
    }
    out.driveSize.Add(labels, drive.sizeBytes);
  }
}

// A value the scan could not read has no sample: the scan's success says so.
void AddUnits(Families& out, const ControllerSummary& summary) {
  const std::string controller = Number(static_cast<std::uint64_t>(summary.id));
  for (const UnitSummary& unitSummary : summary.units) {
    const std::string unit = Number(static_cast<std::uint64_t>(unitSummary.number));
    if (unitSummary.statusCode) {
      out.unitStatus.Add({{"controller", controller},
                          {"unit", unit},
                          {"type", LabelValue(unitSummary.type.value_or(""))},
                          {"status", LabelValue(*unitSummary.status)}},
                         *unitSummary.statusCode);
    }
    if (unitSummary.sizeBytes)
      out.unitSize.Add({{"controller", controller}, {"unit", unit}}, *unitSummary.sizeBytes);
    if (unitSummary.needsAttention) {
      out.unitAttention.Add({{"controller", controller}, {"unit", unit}},
                            *unitSummary.needsAttention ? 1 : 0);
    }
    AddDrives(out, controller, unit, unitSummary);
  }
}

}  // namespace

std::string PrometheusMetrics::Render(ControllerRecords& records, const ScanOutcome& outcome) {
  const ScanSummary summary = ScanSummary::Of(records, outcome);
  Families out;
  for (const ControllerSummary& controllerSummary : summary.controllers) {
    const std::string controller = Number(static_cast<std::uint64_t>(controllerSummary.id));
    static constexpr std::uint64_t kStateNumber[] = {3, 0, 1, 2};
    out.controllerStatus.Add({{"controller", controller}, {"status", controllerSummary.StatusText()}},
                             kStateNumber[static_cast<std::size_t>(controllerSummary.state)]);
    if (controllerSummary.state != ControllerScanState::kRead) continue;
    out.controllerInfo.Add({{"controller", controller},
                            {"model", LabelValue(controllerSummary.model)},
                            {"firmware", LabelValue(controllerSummary.firmware)},
                            {"bios", LabelValue(controllerSummary.bios)},
                            {"driver", LabelValue(controllerSummary.driver)}},
                           1);
    AddUnits(out, controllerSummary);
  }
  out.scanSuccess.Add({}, summary.Complete() ? 1 : 0);
  out.controllers.Add({}, static_cast<std::uint64_t>(summary.controllerCount));
  return out.Text();
}

bool PrometheusMetrics::WriteAtomically(const std::string& path, const std::string& text, std::string* error,
                                        platform::FileWriter& writer) {
  auto fail = [&](const std::string& what, int code) {
    if (error != nullptr) *error = what + ": " + std::strerror(code);
    return false;
  };
  if (path.empty()) return fail("no file named", EINVAL);
  // Readable by all: the node exporter runs as another user.
  if (!platform::ReplaceFileWhole(writer, path, text.data(), text.size(), 0644,
                                  platform::FollowLinks::kOwnOrRoot)) {
    return fail("cannot write " + path, errno);
  }
  return true;
}

}  // namespace kivo
