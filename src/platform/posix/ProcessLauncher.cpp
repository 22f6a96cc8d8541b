// ProcessLauncher: posix_spawnp, and a detached thread per child that waits
// for it so no zombie is left (ignoring SIGCHLD would also hide the exits of
// children other code waits for).
#include "platform/ProcessLauncher.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace kivo::platform {

int StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  std::thread([pid] {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return static_cast<int>(pid);
}

void ProcessLauncher::OpenTextFile(const std::string& path) {
  const char* editor = std::getenv("KIVO_EDITOR");
  StartDetached({editor != nullptr && editor[0] != '\0' ? editor : "xdg-open", path});
}

void ProcessLauncher::OpenUrl(const std::string& url) {
  StartDetached({"xdg-open", url});
}

}  // namespace kivo::platform
