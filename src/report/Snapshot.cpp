// The snapshot file; see Snapshot.h. A write that fails after the file opened
// (a full disk) is reported like a file that cannot be opened, so the user is
// never left with a truncated report believed whole.
#include "report/Snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/Desktop.h"
#include "report/ReportText.h"

namespace kivo {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool WriteFile(const std::string& path, const char* text, std::size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = WriteAll(fd, text, size);
  // Some file systems only report a full disk when the file is closed.
  bool closed = ::close(fd) == 0;
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
