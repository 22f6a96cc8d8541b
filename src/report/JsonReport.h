// JsonReport: a scan's outcome as one JSON document for scripts
// (kivo-report --json). Its shape is docs/kivo-report.schema.json, version
// kJsonFormatVersion; a change that can break a reader raises the version.
#pragma once

#include <string>

#include "report/ScanSummary.h"

namespace kivo {

constexpr int kJsonFormatVersion = 1;

class JsonReport {
 public:
  // The document, ending in a line feed. Text values are printable ASCII.
  static std::string Render(const ScanSummary& summary);
};

}  // namespace kivo
