// FileWriter: the write call behind the files the program keeps ("data.txt",
// "emaillog.txt"). Tests put a failing one in place to play a full disk.
#pragma once

#include <cstddef>

namespace kivo::platform {

class FileWriter {
 public:
  virtual ~FileWriter() = default;
  // As write(2): the bytes written (possibly fewer than size), or -1 with
  // errno set.
  virtual long Write(int fd, const void* data, std::size_t size) = 0;
};

// The system's write(2).
FileWriter& SystemFileWriter();

}  // namespace kivo::platform
