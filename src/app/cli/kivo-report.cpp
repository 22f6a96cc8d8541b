// kivo-report: the disk information report for machines without a desktop.
// Runs the scan the utility runs at start-up and prints the report to
// standard output byte for byte; the scan's error boxes go to standard error.
//
// Exit status: 2 when a unit needs attention; otherwise 1 when the scan is
// incomplete (no controller found, a controller, a unit or its map not read
// whole, a device call failed, or the driver-level check failed); otherwise
// 0 (ScanSummary holds the rules, the same for every face).
// With --prometheus FILE the state goes to FILE as metrics instead, and the
// exit status only says whether FILE was written (0) or not (1).
// With --json the state is printed as one JSON document (exit status as
// above); with --check as a monitoring-plugin result (exit status 0-3).
// Every face exits with 1, the reason on standard error, when its output
// cannot be written whole (a full disk, a reader that went away); the check
// too, since its state reached no one.
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

// Writes the whole text; false (with the reason on standard error) when the
// reader went away or the output cannot be written. A short write leaves
// the stream's error set: a later flush of an empty buffer would succeed.
bool PrintWhole(const char* text, std::size_t size) {
  const bool written = std::fwrite(text, 1, size, stdout) == size;
  if (written && std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  std::perror("kivo-report: standard output");
  return false;
}
bool PrintWhole(const std::string& text) {
  return PrintWhole(text.data(), text.size());
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

  const kivo::ScanSummary summary = kivo::ScanSummary::Of(*records, outcome);
  if (check) {
    const kivo::CheckResult result = kivo::PluginCheck::Of(summary);
    return PrintWhole(result.line) ? static_cast<int>(result.status) : 1;
  }
  if (json) return PrintWhole(kivo::JsonReport::Render(summary)) ? summary.ExitStatus() : 1;

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
  if (!PrintWhole(report.Text(), static_cast<std::size_t>(report.Length()))) return 1;
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
  for (const std::string& error : summary.unitErrors)
    std::fprintf(stderr, "kivo-report: %s\n", error.c_str());
  return summary.ExitStatus();
}
