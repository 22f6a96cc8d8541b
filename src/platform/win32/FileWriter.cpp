// The system's FileWriter (the C runtime's _write) and the whole-file and
// whole-entry writes of the files the program keeps, on Windows.
#include "platform/FileWriter.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdint>
#include <string>

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

// Makes `path` + ".<process>-<n>.new" anew (CREATE_NEW), never through a
// link (the link itself would be opened, and it exists); a descriptor of the
// C runtime for it, or -1 with the last error set. The file inherits its
// folder's security, as any new file there.
int CreateTemporary(const std::string& path, std::string& temporary) {
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(InterlockedIncrement(&counter)) + ".new";
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      DeleteFileA(temporary.c_str());
      SetLastError(error != 0 ? error : ERROR_TOO_MANY_OPEN_FILES);
    }
    return fd;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return -1;
}

}  // namespace

FileWriter& SystemFileWriter() {
  static SystemWriter writer;
  return writer;
}

bool ReplaceFileWhole(FileWriter& writer, const std::string& path, const char* data, std::size_t size,
                      unsigned /*mode*/, FollowLinks /*links*/) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  // Beside the file, so the move stays on one volume.
  std::string temporary;
  const int fd = CreateTemporary(path, temporary);
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
