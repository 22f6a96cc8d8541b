// The system's FileWriter (the C runtime's _write) and the whole-file and
// whole-entry writes of the files the program keeps, on Windows.
#include "platform/FileWriter.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

namespace kivo::platform {
namespace {

class SystemWriter : public FileWriter {
 public:
  long Write(int fd, const void* data, std::size_t size) override {
    return _write(fd, data, static_cast<unsigned>(size));
  }
};

// A reader that does not share deletion (a collector reading the previous
// metrics file) refuses the rename while it has the file open; such reads are
// short, so the rename is tried again for up to two seconds.
constexpr int kMoveAttempts = 100;
constexpr DWORD kMovePauseMs = 20;

bool MoveOver(const std::string& from, const std::string& to) {
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == kMoveAttempts)
      return false;
    Sleep(kMovePauseMs);
  }
}

}  // namespace

FileWriter& SystemFileWriter() {
  static SystemWriter writer;
  return writer;
}

bool ReplaceFileWhole(FileWriter& writer, const std::string& path, const char* data, std::size_t size,
                      unsigned /*mode*/) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // Beside the file, so the move stays on one volume.
  const std::string temporary = path + ".new";
  int fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  bool written = WriteFully(writer, fd, data, size) == size && _commit(fd) == 0;
  if (_close(fd) != 0) written = false;
  if (written && MoveOver(temporary, path)) return true;
  const DWORD error = GetLastError();
  DeleteFileA(temporary.c_str());
  SetLastError(error);
  return false;
}

bool AppendWhole(FileWriter& writer, const std::string& path, const char* data, std::size_t size) {
  int fd = _open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  const long before = _lseek(fd, 0, SEEK_END);
  const std::size_t done = WriteFully(writer, fd, data, size);
  bool written = done == size;
  // A torn entry is cut back so the next one starts on a line of its own.
  if (!written && done > 0 && before >= 0) _chsize(fd, before);
  if (_close(fd) != 0) written = false;
  return written;
}

}  // namespace kivo::platform
