// FileWriter: the write call behind the files the program keeps ("data.txt",
// "emaillog.txt"), and the two ways they are written: replaced whole, or
// appended one whole entry at a time. Tests put a failing writer in place to
// play a full disk.
#pragma once

#include <cstddef>
#include <string>

namespace kivo::platform {

class FileWriter {
 public:
  virtual ~FileWriter() = default;
  // As write(2): the bytes written (possibly fewer than size), or -1 with
  // errno set.
  virtual long Write(int fd, const void* data, std::size_t size) = 0;
};

// The system's write call.
FileWriter& SystemFileWriter();

// Writes until all `size` bytes are out or a write fails (an interrupted one
// is repeated; one that writes nothing counts as a full disk); returns the
// bytes written.
std::size_t WriteFully(FileWriter& writer, int fd, const char* data, std::size_t size);

// Which symbolic link at the path of a replaced file is written through.
enum class FollowLinks {
  kAny,
  // Only one that belongs to this user or to root; any other is replaced
  // itself (a folder other users may write, where one of them could plant a
  // link to a file of this user's).
  kOwnOrRoot,
};

// Replaces the file at `path` with `size` bytes of `data`, whole or not at
// all: the bytes go to a temporary file beside it that is renamed over it once
// it is on disk, so a failure leaves the previous file as it was. The
// temporary file is made anew and exclusively, never through a link (POSIX:
// O_CREAT | O_EXCL | O_NOFOLLOW), gets its mode on its descriptor, and is
// renamed only while it is still the file written. A file that cannot be
// written (read-only) stays refused, a link is written through as `links`
// says (Windows: a link is always replaced), and what is not a regular file
// (a device) is written in place. `mode` is the new file's mode before the
// umask (POSIX). False on any failure, with errno (POSIX) or the last error
// (Windows) saying why.
bool ReplaceFileWhole(FileWriter& writer, const std::string& path, const char* data, std::size_t size,
                      unsigned mode = 0666, FollowLinks links = FollowLinks::kAny);

// Appends `size` bytes to the file at `path`, creating it: a write that fails
// part-way is cut back, so the file never keeps a torn entry. False on any
// failure.
bool AppendWhole(FileWriter& writer, const std::string& path, const char* data, std::size_t size);

}  // namespace kivo::platform
