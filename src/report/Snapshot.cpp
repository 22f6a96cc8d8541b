// The snapshot file; see Snapshot.h. A write that fails after the file opened
// (a full disk) is reported like a file that cannot be opened, so the user is
// never left with a truncated report believed whole.
#include "report/Snapshot.h"

#include <cstddef>
#include <cstdio>

#include "platform/Desktop.h"
#include "report/ReportText.h"

namespace kivo {
namespace {

// Written in binary: the report carries its own CR LF line ends.
bool WriteFile(const std::string& path, const char* text, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(text, 1, size, file) == size;
  // Some file systems only report a full disk when the file is closed.
  bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace

void SnapshotTo(const platform::PlatformContext& context, const std::string& path) {
  const TextBuffer& report = ReportText();
  if (!WriteFile(path, report.Text(), static_cast<std::size_t>(report.Length()))) {
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
