// The service manager names the journal stream it connects in JOURNAL_STREAM
// ("device:inode"). The variable is inherited by children whose output goes
// elsewhere, so it only counts when it names the stream the descriptor is.
#include "platform/JournalStream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kivo::platform {

namespace {

bool IsJournal(int descriptor) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr || *stream == '\0') return false;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  char rest = 0;
  if (std::sscanf(stream, "%llu:%llu%c", &device, &inode, &rest) != 2) return false;
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return false;
  return static_cast<unsigned long long>(status.st_dev) == device &&
         static_cast<unsigned long long>(status.st_ino) == inode;
}

}  // namespace

bool StandardOutputIsJournal() {
  return IsJournal(STDOUT_FILENO);
}

bool StandardErrorIsJournal() {
  return IsJournal(STDERR_FILENO);
}

}  // namespace kivo::platform
