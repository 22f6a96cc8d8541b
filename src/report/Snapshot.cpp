// The snapshot file; see Snapshot.h. The text goes to a temporary file beside
// "data.txt" that is renamed over it only once it is whole on disk: a full
// disk leaves the previous snapshot as it was, and the failure is reported
// like a file that cannot be opened. A read-only "data.txt" stays refused, a
// link is written through, and what is not a regular file (a device) is
// written in place as before.
#include "report/Snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "platform/Desktop.h"
#include "report/ReportText.h"

namespace kivo {
namespace {

bool WriteAll(platform::FileWriter& writer, int fd, const char* data, std::size_t size) {
  while (size > 0) {
    long written = writer.Write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool WriteInPlace(platform::FileWriter& writer, const std::string& path, const char* text, std::size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = WriteAll(writer, fd, text, size);
  bool closed = ::close(fd) == 0;
  return written && closed;
}

bool WriteFile(platform::FileWriter& writer, const std::string& given, const char* text, std::size_t size) {
  std::string path = given;
  if (char* resolved = ::realpath(given.c_str(), nullptr)) {
    path = resolved;  // an existing file, perhaps behind a link
    std::free(resolved);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode)) return WriteInPlace(writer, path, text, size);
    if (::access(path.c_str(), W_OK) != 0) return false;  // as opening it would be
  }
  // In the same directory, so the rename stays on one file system.
  std::string temporary = path + ".XXXXXX";
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // Some file systems only report a full disk when the data goes out or the
  // file is closed.
  bool written = WriteAll(writer, fd, text, size) && ::fsync(fd) == 0;
  bool closed = ::close(fd) == 0;
  // mkostemp makes the file 0600; a snapshot is an ordinary file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (written && closed && ::chmod(temporary.c_str(), 0666 & ~mask) == 0 &&
      std::rename(temporary.c_str(), path.c_str()) == 0) {
    return true;
  }
  ::unlink(temporary.c_str());
  return false;
}

}  // namespace

void SnapshotTo(const platform::PlatformContext& context, const std::string& path,
                platform::FileWriter& writer) {
  const TextBuffer& report = ReportText();
  if (!WriteFile(writer, path, report.Text(), static_cast<std::size_t>(report.Length()))) {
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
