// PluginCheck: a scan's outcome as a monitoring-plugin check result (one
// status line with performance data, and the plugin exit status) for
// kivo-report --check. Stateless.
#pragma once

#include <string>

#include "report/ScanSummary.h"

namespace kivo {

enum class CheckStatus { kOk = 0, kWarning = 1, kCritical = 2, kUnknown = 3 };

struct CheckResult {
  CheckStatus status = CheckStatus::kUnknown;
  std::string line;  // "KIVO <STATE> - <what> | <performance data>\n"
};

class PluginCheck {
 public:
  // CRITICAL: a unit or subunit degraded, incomplete, offline, corrupt or in
  // a state this version does not know, or a drive out of service or out of
  // reach. UNKNOWN: no controller, or the scan incomplete. WARNING: a unit or
  // subunit rebuilding, verifying or initializing. OK otherwise. The first
  // that applies, in this order, is the status: a failure that was seen is
  // reported even when another controller could not be read.
  static CheckResult Of(const ScanSummary& summary);
};

}  // namespace kivo
