// Compiled into every test program: sets, before main, the environment the
// tests rely on (unless the caller set it): TZ=UTC, where the sources and the
// built programs are, a private XDG_RUNTIME_DIR and Qt's offscreen platform.
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    setenv("TZ", "UTC", 1);
    tzset();
    setenv("KIVO_SOURCE_DIR", KIVO_TEST_SOURCE_DIR, 0);
    setenv("KIVO_BINARY_DIR", KIVO_TEST_BINARY_DIR, 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
      std::string runtime = std::string(KIVO_TEST_BINARY_DIR) + "/xdg-runtime";
      mkdir(runtime.c_str(), 0700);
      setenv("XDG_RUNTIME_DIR", runtime.c_str(), 0);
    }
  }
};

const TestEnvironment environment;

}  // namespace
