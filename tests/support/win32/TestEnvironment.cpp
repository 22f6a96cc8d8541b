// Compiled into every Windows test program: sets, before main, the
// environment the tests rely on (unless the caller set it): TZ=UTC and where
// the sources and the built programs are.
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

struct TestEnvironment {
  TestEnvironment() {
    _putenv_s("TZ", "UTC");
    _tzset();
    if (std::getenv("KIVO_SOURCE_DIR") == nullptr) _putenv_s("KIVO_SOURCE_DIR", KIVO_TEST_SOURCE_DIR);
    if (std::getenv("KIVO_BINARY_DIR") == nullptr) _putenv_s("KIVO_BINARY_DIR", KIVO_TEST_BINARY_DIR);
  }
};

const TestEnvironment environment;

}  // namespace
