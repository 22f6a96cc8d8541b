// The system's FileWriter (write(2)) and the whole-file and whole-entry writes
// of the files the program keeps, on POSIX.
#include "platform/FileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

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

// Makes `path` + ".XXXXXX" (six random letters) anew, never through a link,
// mode 0600; the descriptor, or -1 with errno set.
int CreateTemporary(const std::string& path, std::string& temporary) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + '.';
    for (int i = 0; i < 6; ++i) temporary += kLetters[random() % (sizeof kLetters - 1)];
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

FileWriter& SystemFileWriter() {
  static SystemWriter writer;
  return writer;
}

bool ReplaceFileWhole(FileWriter& writer, const std::string& given, const char* data, std::size_t size,
                      unsigned mode, FollowLinks links) {
  std::string path = given;
  struct stat entry {};
  const bool isLink = ::lstat(given.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode);
  const bool follow =
      !isLink || links == FollowLinks::kAny || entry.st_uid == ::geteuid() || entry.st_uid == 0;
  char* resolved = follow ? ::realpath(given.c_str(), nullptr) : nullptr;
  if (resolved != nullptr) {
    path = resolved;  // an existing file, perhaps behind a link
    std::free(resolved);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode)) return WriteInPlace(writer, path, data, size);
    if (::access(path.c_str(), W_OK) != 0) return false;  // as opening it would be
  }
  // In the same directory, so the rename stays on one file system.
  std::string temporary;
  const int fd = CreateTemporary(path, temporary);
  if (fd < 0) return false;
  // The mode goes on the file itself: its name may be another file's by now.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  bool written = ::fchmod(fd, static_cast<mode_t>(mode) & ~mask) == 0;
  // Some file systems only report a full disk when the data goes out or the
  // file is closed.
  written = written && WriteFully(writer, fd, data, size) == size && ::fsync(fd) == 0;
  int code = errno;
  // The name is renamed only while it still is the file written.
  struct stat opened {};
  struct stat named {};
  if (written && (::fstat(fd, &opened) != 0 || ::lstat(temporary.c_str(), &named) != 0 ||
                  opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)) {
    written = false;
    code = EEXIST;
  }
  if (::close(fd) != 0 && written) {
    written = false;
    code = errno;
  }
  if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
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
