// JsonReport: a scan's outcome as one JSON document for scripts
// (kivo-report --json). Its shape is docs/kivo-report.schema.json, version
// kJsonFormatVersion; a change that can break a reader raises the version.
#pragma once

#include <string>

#include "report/ScanSummary.h"

namespace kivo {

// 2: units say whether they were read whole ("read") and carry their type
// code; a value that was not read is null; drive sizes are always known.
constexpr int kJsonFormatVersion = 2;

class JsonReport {
 public:
  // The document, ending in a line feed. Text values are printable ASCII.
  static std::string Render(const ScanSummary& summary);
};

}  // namespace kivo
