// kivo-report: the disk information report for machines without a desktop.
// Runs the scan the utility runs at start-up and prints the report to
// standard output byte for byte; the scan's error boxes go to standard error.
//
// Exit status: 2 when a unit or subunit is not "OK" or "Normal", or a drive
// is "Not in Service" or "Error"; otherwise 1 when the report is incomplete
// (no controller found, a controller could not be opened, its driver queried
// or read whole, or the driver-level check failed); otherwise 0.
// With --prometheus FILE the state goes to FILE as metrics instead, and the
// exit status only says whether FILE was written (0) or not (1).
// With --json the state is printed as one JSON document (exit status as
// above); with --check as a monitoring-plugin result (exit status 0-3).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/cli/ConsoleUsage.h"
#include "controller/ControllerInfo.h"
#include "platform/Clock.h"
#include "platform/ConsoleMessageBoxes.h"
#include "platform/DeviceIo.h"
#include "platform/ProcessLauncher.h"
#include "platform/StandardOutput.h"
#include "platform/SystemPlatform.h"
#include "report/InventoryScan.h"
#include "report/JsonReport.h"
#include "report/PluginCheck.h"
#include "report/PrometheusMetrics.h"
#include "report/ReportText.h"
#include "report/ScanSummary.h"

namespace {

bool Healthy(const kivo::DisplayRow& row) {
  const char* status = row.statusText.data();
  if (row.isArrayUnit == 1 || row.kind == 6) {
    return std::strcmp(status, "OK") == 0 || std::strcmp(status, "Normal") == 0;
  }
  return std::strcmp(status, "Not in Service") != 0 && std::strcmp(status, "Error") != 0;
}

int ExitStatus(const kivo::ScanOutcome& outcome, kivo::ControllerRecords& records) {
  for (int i = 0; i < outcome.controllerCount && i < kivo::ControllerRecords::kCount; ++i) {
    const kivo::ControllerInfo& record = records[i];
    if (!record.HasTables()) continue;
    for (int r = 0; r < record.rowCount && r < kivo::kDisplayRows; ++r) {
      if (!Healthy(record.Rows()[r])) return 2;
    }
  }
  if (outcome.controllerCount == 0 || outcome.levelMismatch || outcome.openFailures > 0 ||
      outcome.queryFailures > 0 || !outcome.callFailures.empty()) {
    return 1;
  }
  return 0;
}

// Writes the whole text; false (with the reason on standard error) when the
// reader went away or the output cannot be written.
bool PrintWhole(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0)
    return true;
  std::perror("kivo-report: standard output");
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const char* metricsFile = nullptr;
  const bool json = argc == 2 && std::strcmp(argv[1], "--json") == 0;
  const bool check = argc == 2 && std::strcmp(argv[1], "--check") == 0;
  if (argc == 3 && std::strcmp(argv[1], "--prometheus") == 0) {
    metricsFile = argv[2];
  } else if (argc > 1 && !json && !check) {
    const bool help = kivo::cli::AsksForUsage(argv[1]);
    const bool prometheus = std::strcmp(argv[1], "--prometheus") == 0;
    if (!help && prometheus && argc == 2) {
      std::fputs("kivo-report: --prometheus needs a FILE\n", stderr);
    } else if (!help) {
      // A known switch followed by more: the first word it does not take.
      int bad = 1;
      if (prometheus) bad = 3;
      if (std::strcmp(argv[1], "--json") == 0 || std::strcmp(argv[1], "--check") == 0) bad = 2;
      std::fprintf(stderr, "kivo-report: unknown argument '%s'\n", argv[bad]);
    }
    std::fputs(kivo::cli::ReportUsage(argv[0]).c_str(), help ? stdout : stderr);
    return help ? 0 : 64;
  }
  kivo::platform::ConsoleMessageBoxes boxes;
  kivo::platform::ProcessLauncher launcher;
  kivo::platform::SystemPlatform system(boxes, launcher);
  const kivo::platform::PlatformContext& context = system.context;

  auto records = std::make_unique<kivo::ControllerRecords>(context);
  kivo::ScanOutcome outcome;
  // A check's one line says what went wrong; other faces show the scan's
  // error boxes on standard error.
  kivo::SetErrorBoxesEnabled(!check);
  kivo::ScanControllers(1, *records, &outcome);
  kivo::SetErrorBoxesEnabled(false);
  kivo::platform::ReportLostReaderAsWriteError();
  // The report carries its own CR LF line ends; the other faces end their
  // lines in LF alone on every platform.
  kivo::platform::UseBinaryStandardOutput();

  if (check) {
    const kivo::CheckResult result = kivo::PluginCheck::Of(kivo::ScanSummary::Of(*records, outcome));
    return PrintWhole(result.line) ? static_cast<int>(result.status)
                                   : static_cast<int>(kivo::CheckStatus::kUnknown);
  }
  if (json) {
    if (!PrintWhole(kivo::JsonReport::Render(kivo::ScanSummary::Of(*records, outcome)))) return 1;
    return ExitStatus(outcome, *records);
  }

  if (metricsFile != nullptr) {
    std::string error;
    if (kivo::PrometheusMetrics::WriteAtomically(
            metricsFile, kivo::PrometheusMetrics::Render(*records, outcome), &error)) {
      return 0;
    }
    std::fprintf(stderr, "kivo-report: %s\n", error.c_str());
    return 1;
  }

  const kivo::TextBuffer& report = kivo::ReportText();
  std::fwrite(report.Text(), 1, static_cast<std::size_t>(report.Length()), stdout);
  if (std::fflush(stdout) != 0) {
    std::perror("kivo-report: standard output");
    return 1;
  }
  // Standard error says why the report is incomplete where no error box did.
  if (outcome.controllerCount == 0) {
    std::fprintf(stderr, "kivo-report: no controller found%s\n",
                 kivo::platform::DeviceLocationHint(kivo::platform::DefaultDeviceDirectory()).c_str());
  }
  for (const kivo::ScanOutcome::CallFailure& failure : outcome.callFailures) {
    std::fprintf(stderr,
                 "kivo-report: controller %d was not read completely: %d device call(s) failed, the "
                 "first with system error %lu\n",
                 failure.controllerId, failure.calls, static_cast<unsigned long>(failure.error));
  }
  return ExitStatus(outcome, *records);
}
