// The system's FileWriter: write(2) itself.
#include "platform/FileWriter.h"

#include <unistd.h>

namespace kivo::platform {
namespace {

class SystemWriter : public FileWriter {
 public:
  long Write(int fd, const void* data, std::size_t size) override { return ::write(fd, data, size); }
};

}  // namespace

FileWriter& SystemFileWriter() {
  static SystemWriter writer;
  return writer;
}

}  // namespace kivo::platform
