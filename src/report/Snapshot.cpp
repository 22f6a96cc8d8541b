// The snapshot file; see Snapshot.h. The text goes to a temporary file beside
// "data.txt" that is renamed over it only once it is whole on disk: a full
// disk leaves the previous snapshot as it was, and the failure is reported
// like a file that cannot be opened. A read-only "data.txt" stays refused, a
// link is written through, and what is not a regular file (a device) is
// written in place as before.
#include "report/Snapshot.h"

#include <cstddef>

#include "platform/Desktop.h"
#include "report/ReportText.h"

namespace kivo {

void SnapshotTo(const platform::PlatformContext& context, const std::string& path,
                platform::FileWriter& writer) {
  const TextBuffer& report = ReportText();
  if (!platform::ReplaceFileWhole(writer, path, report.Text(), static_cast<std::size_t>(report.Length()))) {
    if (context.messageBoxes != nullptr) {
      context.messageBoxes->MessageBoxA(true, "Cannot open file data.txt.", "Error", platform::MB_ICONERROR);
    }
    return;
  }
  if (context.launcher != nullptr) context.launcher->OpenTextFile(path);
}

void Snapshot(const platform::PlatformContext& context) {
  SnapshotTo(context, kSnapshotFile);
}

}  // namespace kivo
