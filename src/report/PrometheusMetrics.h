// PrometheusMetrics: the state of the machine's controllers, units and drives
// after an inventory scan, as text in the Prometheus exposition format for a
// node exporter's textfile collector, and the atomic write of that text.
#pragma once

#include <string>

#include "controller/ControllerInfo.h"
#include "platform/FileWriter.h"
#include "report/InventoryScan.h"

namespace kivo {

class PrometheusMetrics {
 public:
  // The metrics of a finished scan of `records` (the controller ids are
  // those MachineInfo holds after that scan). Every family has its HELP and
  // TYPE lines; label values are printable ASCII.
  static std::string Render(ControllerRecords& records, const ScanOutcome& outcome);

  // Replaces the file at `path` with `text` in one step: the text goes to a
  // new file beside it (a name the textfile collector does not read), is
  // flushed to the disk and renamed over `path`, readable by everyone. The
  // folder may be one other users can write: the new file is made
  // exclusively and never through a link, its mode is set on the open file,
  // and a link at `path` that belongs to another user (not root) is
  // replaced, not written through. On failure returns false with the reason
  // in *error and leaves no file of its own behind; an existing file at
  // `path` is then left as it was.
  static bool WriteAtomically(const std::string& path, const std::string& text, std::string* error,
                              platform::FileWriter& writer = platform::SystemFileWriter());
};

}  // namespace kivo
