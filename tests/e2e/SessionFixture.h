// The fixture of the whole-program tests: a private X display (Xvfb), the
// emulator, the utility started as a user starts it, and the tools that
// look at the screen; a window manager and a tray host where a test asks.
// Every wait is bounded by the clock, and a failed one says what the screen
// showed (Seen()).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kivo::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline std::string BinaryDir() {
  const char* dir = std::getenv("KIVO_BINARY_DIR");
  return dir != nullptr ? dir : ".";
}

inline bool OnPath(const char* program) {
  const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a command through the shell and returns its standard output.
inline std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// Runs a command through the shell when its status does not matter (the
// library's own call may not have its result ignored).
inline int Shell(const std::string& command) {
  return std::system(command.c_str());
}

template <typename Predicate>
inline bool WaitUntil(Predicate predicate, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (predicate()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return predicate();
}

// True when the predicate holds throughout `span` (looked at every 50 ms):
// that something does not happen within a stretch of time.
template <typename Predicate>
inline bool Holds(Predicate predicate, std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    if (!predicate()) return false;
    std::this_thread::sleep_for(50ms);
  }
  return predicate();
}

inline std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

// The last `bytes` of a text (a log for a failure message).
inline std::string Tail(const std::string& text, std::size_t bytes = 2000) {
  return text.size() > bytes ? "..." + text.substr(text.size() - bytes) : text;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("Xvfb") || !OnPath("xdotool") || !OnPath("xdpyinfo")) {
      GTEST_SKIP() << "Xvfb, xdotool and xdpyinfo are needed";
    }
    char pattern[] = "/tmp/kivo-e2e.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    ::chmod(root_.c_str(), 0700);
    fs::create_directories(root_ / "registry");
    fs::create_directories(root_ / "cwd");
    ::setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    ::setenv("KIVO_REGISTRY_DIR", (root_ / "registry").c_str(), 1);
    ::setenv("KIVO_DEVICE_DIR", (root_ / "zelka").c_str(), 1);
    ::setenv("KIVO_RPC_DIR", (root_ / "ncalrpc").c_str(), 1);
    ::setenv("KIVO_TIME_SCALE", "90", 1);  // the monitor's 90 s become 1 s
    ::setenv("KIVO_EDITOR", "true", 1);
    ::unsetenv("QT_QPA_PLATFORM");
    StartDisplay();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Shell(Bin("src/app/cli/kivo-install") + " >" + (root_ / "install.log").string() + " 2>&1"), 0)
        << ReadFile(root_ / "install.log");
    emulatorPid_ = Spawn({Bin("emulator/zelka-emulator"), "--http-port", "0"}, root_ / "emulator.log");
    ASSERT_TRUE(
        WaitUntil([&] { return ReadFile(root_ / "emulator.log").find("ready") != std::string::npos; }, 45s))
        << "the emulator is not ready within 45 s: " << Tail(ReadFile(root_ / "emulator.log"));
  }

  void TearDown() override {
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
      ::kill(*it, SIGTERM);
      int status = 0;
      ::waitpid(*it, &status, 0);
    }
    if (!root_.empty() && HasFailure()) {
      std::fprintf(stderr, "kept for inspection: %s (display %s)\n", root_.c_str(), display_.c_str());
    } else if (!root_.empty()) {
      std::error_code error;
      fs::remove_all(root_, error);
    }
  }

  static std::string Bin(const std::string& relative) { return BinaryDir() + "/" + relative; }

  void StartDisplay() {
    // A display number of this process's own: numbers that Xvfb hands out
    // first (-displayfd starts at 0) are reused at once by parallel tests,
    // and a server ending on a number can remove the socket of the next one.
    // KIVO_TEST_DISPLAYS="first:last" keeps the numbers within a range.
    int first = 100;
    int last = 899;
    if (const char* range = std::getenv("KIVO_TEST_DISPLAYS")) std::sscanf(range, "%d:%d", &first, &last);
    // Numbers are tried for a minute at most, however long each server takes.
    const auto end = std::chrono::steady_clock::now() + 60s;
    for (int attempt = 0; std::chrono::steady_clock::now() < end; ++attempt) {
      const int number =
          first + (static_cast<int>(::getpid()) * 7 + attempt * 13) % std::max(1, last - first + 1);
      if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
      const std::string name = ":" + std::to_string(number);
      const pid_t xvfb = Spawn({"Xvfb", name, "-screen", "0", "1280x900x24", "-nolisten", "tcp", "-noreset"},
                               root_ / "xvfb.log");
      const bool up = WaitUntil(
          [&] {
            return ::waitpid(xvfb, nullptr, WNOHANG) != 0 ||
                   std::system(("xdpyinfo -display " + name + " >/dev/null 2>&1").c_str()) == 0;
          },
          20s);
      if (up && ::waitpid(xvfb, nullptr, WNOHANG) == 0) {
        xvfbPid_ = xvfb;
        display_ = name;
        ::setenv("DISPLAY", display_.c_str(), 1);
        return;
      }
      if (::kill(xvfb, SIGTERM) == 0) ::waitpid(xvfb, nullptr, 0);
      std::erase(pids_, xvfb);
    }
    FAIL() << "no X display could be started within 60 s: " << Tail(ReadFile(root_ / "xvfb.log"));
  }

  // Starts a program with its output in `log`, in `cwd` when given.
  pid_t Spawn(const std::vector<std::string>& argv, const fs::path& log, const fs::path& cwd = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << argv[0];
    if (error == 0) pids_.push_back(pid);
    return pid;
  }

  pid_t StartKivo(const std::vector<std::string>& switches = {}) {
    std::vector<std::string> argv = {Bin("src/app/kivo")};
    argv.insert(argv.end(), switches.begin(), switches.end());
    return Spawn(argv, root_ / "kivo.log", root_ / "cwd");
  }

  // Waits for the process to end; its exit code, or -1 when it did not end.
  int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    const bool ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit);
    if (!ended) return -1;
    std::erase(pids_, pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  bool Running(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == 0; }

  // A desktop session: the window manager (openbox), and the tray host
  // (trayer) at the top right, which may also start later.
  void StartWindowManager() {
    Spawn({"openbox"}, root_ / "openbox.log");
    std::string check;
    ASSERT_TRUE(WaitUntil(
        [&] {
          check = Capture("xprop -root _NET_SUPPORTING_WM_CHECK 2>&1");
          return check.find("window id") != std::string::npos;
        },
        30s))
        << "no window manager within 30 s: " << check << Tail(ReadFile(root_ / "openbox.log"));
  }
  void StartTray() {
    Spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request"}, root_ / "trayer.log");
    ASSERT_TRUE(
        WaitUntil([] { return !Capture("xdotool search --classname panel 2>/dev/null").empty(); }, 30s))
        << "no tray host panel within 30 s: " << Tail(ReadFile(root_ / "trayer.log")) << Seen();
  }

  // What the screen shows, for a failure message: each visible window with
  // a name (id and title), the active window, and the end of the utility's
  // log.
  std::string Seen() {
    std::string text = "\nvisible windows:\n";
    std::istringstream ids(Capture("xdotool search --onlyvisible --name . 2>/dev/null"));
    for (std::string id; std::getline(ids, id);) {
      text += "  " + id + " \"" + FirstLine(Capture("xdotool getwindowname " + id + " 2>&1")) + "\"\n";
    }
    text += "active window: " + FirstLine(Capture("xdotool getactivewindow 2>&1")) + "\n";
    text += "kivo.log: " + Tail(ReadFile(root_ / "kivo.log")) + "\n";
    return text;
  }
  // The first visible window with exactly this title, or "".
  std::string Visible(const std::string& title) {
    const std::string ids = VisibleWindows(title);
    return ids.substr(0, ids.find('\n'));
  }

  // The ids of visible windows with exactly this title.
  std::string VisibleWindows(const std::string& title) {
    return Capture("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null");
  }
  bool WaitForWindow(const std::string& title, std::chrono::milliseconds limit) {
    return WaitUntil([&] { return !VisibleWindows(title).empty(); }, limit);
  }

  int Command(int id) {
    return std::system((Bin("src/app/kivo-command") + " " + std::to_string(id) + " 2>/dev/null").c_str());
  }
  std::string Calls() { return Capture(Bin("emulator/zelka-emulator") + " ctl calls 2>&1"); }
  int Ctl(const std::string& arguments) {
    return std::system((Bin("emulator/zelka-emulator") + " ctl " + arguments + " >/dev/null 2>&1").c_str());
  }

  fs::path root_;
  std::string display_;
  pid_t xvfbPid_ = -1;
  pid_t emulatorPid_ = -1;
  std::vector<pid_t> pids_;
};

}  // namespace kivo::test
