// The write loop both platforms' file writes share; see FileWriter.h.
#include "platform/FileWriter.h"

#include <cerrno>

namespace kivo::platform {

std::size_t WriteFully(FileWriter& writer, int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const long n = writer.Write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace kivo::platform
