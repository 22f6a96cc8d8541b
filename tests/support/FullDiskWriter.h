// FullDiskWriter: a FileWriter that lets `room` more bytes through, then fails
// as a full disk does (ENOSPC). Negative room: no limit.
#pragma once

#include <algorithm>
#include <cerrno>

#include "platform/FileWriter.h"

namespace kivo::test {

class FullDiskWriter : public platform::FileWriter {
 public:
  long Write(int fd, const void* data, std::size_t size) override {
    if (room < 0) return platform::SystemFileWriter().Write(fd, data, size);
    if (room == 0) {
      errno = ENOSPC;
      return -1;
    }
    const long n =
        platform::SystemFileWriter().Write(fd, data, std::min(size, static_cast<std::size_t>(room)));
    if (n > 0) room -= n;
    return n;
  }
  long room = -1;
};

}  // namespace kivo::test
