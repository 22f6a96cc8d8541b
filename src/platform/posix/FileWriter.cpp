// The system's FileWriter (write(2)) and the whole-file and whole-entry writes
// of the files the program keeps, on POSIX.
#include "platform/FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace kivo::platform {
namespace {

class SystemWriter : public FileWriter {
 public:
  long Write(int fd, const void* data, std::size_t size) override { return ::write(fd, data, size); }
};

bool WriteInPlace(FileWriter& writer, const std::string& path, const char* data, std::size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = WriteFully(writer, fd, data, size) == size;
  bool closed = ::close(fd) == 0;
  return written && closed;
}

}  // namespace

FileWriter& SystemFileWriter() {
  static SystemWriter writer;
  return writer;
}

bool ReplaceFileWhole(FileWriter& writer, const std::string& given, const char* data, std::size_t size,
                      unsigned mode) {
  std::string path = given;
  if (char* resolved = ::realpath(given.c_str(), nullptr)) {
    path = resolved;  // an existing file, perhaps behind a link
    std::free(resolved);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode)) return WriteInPlace(writer, path, data, size);
    if (::access(path.c_str(), W_OK) != 0) return false;  // as opening it would be
  }
  // In the same directory, so the rename stays on one file system.
  std::string temporary = path + ".XXXXXX";
  int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // Some file systems only report a full disk when the data goes out or the
  // file is closed.
  bool written = WriteFully(writer, fd, data, size) == size && ::fsync(fd) == 0;
  int code = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    code = errno;
  }
  // mkostemp makes the file 0600.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (written && (::chmod(temporary.c_str(), static_cast<mode_t>(mode) & ~mask) != 0 ||
                  std::rename(temporary.c_str(), path.c_str()) != 0)) {
    written = false;
    code = errno;
  }
  if (written) return true;
  ::unlink(temporary.c_str());
  errno = code;
  return false;
}

bool AppendWhole(FileWriter& writer, const std::string& path, const char* data, std::size_t size) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  struct stat before {};
  const bool sized = ::fstat(fd, &before) == 0;
  const std::size_t done = WriteFully(writer, fd, data, size);
  bool written = done == size;
  // A torn entry is cut back so the next one starts on a line of its own.
  if (!written && done > 0 && sized && ::ftruncate(fd, before.st_size) != 0) {
    written = false;
  }
  if (::close(fd) != 0) written = false;
  return written;
}

}  // namespace kivo::platform
