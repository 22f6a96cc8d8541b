// PluginCheck: the problems of a scan, gathered by their gravity, in one
// status line.
#include "report/PluginCheck.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace kivo {
namespace {

bool Holds(const std::string& status, const char* word) {
  return status.find(word) != std::string::npos;
}

// The gravity of a unit's or subunit's status text.
CheckStatus StatusOfUnitText(const std::string& status) {
  if (status == "OK" || status == "Normal") return CheckStatus::kOk;
  for (const char* word : {"Degraded", "Incomplete", "Offline", "Corrupt", "Not Present", "Unknown"}) {
    if (Holds(status, word)) return CheckStatus::kCritical;
  }
  for (const char* word : {"Rebuilding", "Verifying", "Initializing"}) {
    if (Holds(status, word)) return CheckStatus::kWarning;
  }
  return CheckStatus::kCritical;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct Problems {
  std::vector<std::string> critical;
  std::vector<std::string> unknown;
  std::vector<std::string> warning;

  void Add(CheckStatus status, const std::string& text) {
    if (status == CheckStatus::kCritical) critical.push_back(text);
    if (status == CheckStatus::kWarning) warning.push_back(text);
  }
};

void AddUnit(Problems& problems, const ControllerSummary& controller, const UnitSummary& unit) {
  const std::string where =
      "unit " + std::to_string(unit.number) + " on controller " + std::to_string(controller.id);
  // A status that was not read is among the scan's errors.
  if (unit.status) problems.Add(StatusOfUnitText(*unit.status), where + " " + Lower(*unit.status));
  for (std::size_t i = 0; i < unit.subunits.size(); ++i) {
    const std::optional<std::string>& status = unit.subunits[i].status;
    if (!status) continue;
    problems.Add(StatusOfUnitText(*status),
                 "subunit " + std::to_string(i) + " of " + where + " " + Lower(*status));
  }
  for (const DriveSummary& drive : unit.drives) {
    if (drive.state == DriveState::kNotInService) {
      problems.critical.push_back("drive on port " + std::to_string(drive.port) + " of " + where +
                                  " not in service");
    } else if (drive.state == DriveState::kInaccessible) {
      problems.critical.push_back("a drive of " + where + " inaccessible");
    }
  }
}

std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : ", ") + text;
  return joined;
}

}  // namespace

CheckResult PluginCheck::Of(const ScanSummary& summary) {
  Problems problems;
  for (const ControllerSummary& controller : summary.controllers) {
    for (const UnitSummary& unit : controller.units) AddUnit(problems, controller, unit);
  }
  problems.unknown = summary.errors;

  CheckResult result;
  std::string state;
  std::string what;
  if (!problems.critical.empty()) {
    result.status = CheckStatus::kCritical;
    state = "CRITICAL";
  } else if (!problems.unknown.empty()) {
    result.status = CheckStatus::kUnknown;
    state = "UNKNOWN";
  } else if (!problems.warning.empty()) {
    result.status = CheckStatus::kWarning;
    state = "WARNING";
  } else {
    result.status = CheckStatus::kOk;
    state = "OK";
    what = std::to_string(summary.UnitCount()) + " unit(s) on " + std::to_string(summary.controllerCount) +
           " controller(s) OK";
  }
  // The gravest first; whatever else was met follows.
  if (what.empty()) {
    std::vector<std::string> all = problems.critical;
    all.insert(all.end(), problems.unknown.begin(), problems.unknown.end());
    all.insert(all.end(), problems.warning.begin(), problems.warning.end());
    what = Joined(all);
  }
  result.line = "KIVO " + state + " - " + what + " | controllers=" + std::to_string(summary.controllerCount) +
                " units=" + std::to_string(summary.UnitCount()) +
                " attention=" + std::to_string(summary.AttentionCount()) +
                " drives=" + std::to_string(summary.DriveCount()) + "\n";
  return result;
}

}  // namespace kivo
