// The real launcher starts the editor without a shell and without waiting:
// a stand-in editor writes the argument it got into a FIFO the test reads.
#include "platform/ProcessLauncher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace kivo::test {
namespace {

class ProcessLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kivo-launcher-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir = pattern;
    fifo = dir + "/seen";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    editor = dir + "/editor";
    std::ofstream script(editor);
    script << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > '" << fifo << "'\n";
    script.close();
    ASSERT_EQ(::chmod(editor.c_str(), 0700), 0);
  }
  void TearDown() override {
    ::unsetenv("KIVO_EDITOR");
    ::unlink(fifo.c_str());
    ::unlink(editor.c_str());
    ::rmdir(dir.c_str());
  }

  // What the stand-in editor wrote, waiting at most ten seconds for it.
  std::string ReadSeen() {
    int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return "(no fifo)";
    std::string seen;
    char buffer[256];
    bool writerCame = false;
    for (int round = 0; round < 1000; ++round) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) break;
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        seen.append(buffer, static_cast<std::size_t>(n));
        writerCame = true;
        continue;
      }
      if (n == 0 && writerCame) break;  // the writer closed
      if (n == 0 && (p.revents & POLLHUP) != 0 && !writerCame) continue;
      if (n < 0) break;
    }
    ::close(fd);
    return seen;
  }

  std::string dir;
  std::string fifo;
  std::string editor;
};

TEST_F(ProcessLauncherTest, EditorFromTheEnvironmentGetsThePathAsItsOnlyArgument) {
  ::setenv("KIVO_EDITOR", editor.c_str(), 1);
  platform::ProcessLauncher launcher;
  // A shell would split this name and expand the variable.
  launcher.OpenTextFile("data file $HOME.txt");
  EXPECT_EQ(ReadSeen(), "1|data file $HOME.txt");
}

TEST_F(ProcessLauncherTest, StartDetachedReturnsAtOnceWithTheChildId) {
  int pid = platform::StartDetached({editor, "x"});
  EXPECT_GT(pid, 0);
  EXPECT_EQ(ReadSeen(), "1|x");
}

TEST_F(ProcessLauncherTest, MissingProgramIsNotStarted) {
  EXPECT_EQ(platform::StartDetached({dir + "/no-such-editor", "data.txt"}), -1);
  EXPECT_EQ(platform::StartDetached({}), -1);
}

}  // namespace
}  // namespace kivo::test
