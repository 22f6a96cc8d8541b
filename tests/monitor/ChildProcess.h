// ChildProcess: runs a built program with its standard output and error on
// pipes, for the monitor's end-to-end tests and the idle benchmark. Reads
// wait with poll() against a real-time deadline; nothing sleeps.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace kivo::test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    Close(out_);
    Close(err_);
  }

  // Starts argv[0] (a path) with the current environment plus `extraEnv`
  // ("NAME=value" entries, which win). False when it cannot be started.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {}) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return false;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry(*e);
      bool replaced = false;
      for (const std::string& extra : extraEnv) {
        if (entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0) replaced = true;
      }
      if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args) argp.push_back(arg.data());
    argp.push_back(nullptr);

    int rc = posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (rc != 0) pid_ = -1;
    return rc == 0;
  }

  pid_t Pid() const { return pid_; }
  // Stops reading standard output: the program's next write there fails.
  void CloseOut() { Close(out_); }
  const std::string& Out() const { return outText_; }
  // When the byte of standard output at `offset` was read (a reader that
  // keeps waiting on the output reads each write as it comes).
  std::chrono::steady_clock::time_point OutArrival(std::size_t offset) const {
    for (const auto& [time, size] : outArrivals_) {
      if (offset < size) return time;
    }
    return std::chrono::steady_clock::time_point::max();
  }
  const std::string& Err() const { return errText_; }

  // Reads until standard output (or error) holds `text`, the streams close or
  // `seconds` pass. True when found.
  bool WaitForOut(const std::string& text, int seconds = 20) { return WaitFor(outText_, text, seconds); }
  bool WaitForErr(const std::string& text, int seconds = 20) { return WaitFor(errText_, text, seconds); }

  // Sends a signal and waits (bounded) for the exit; the exit status, or -1
  // on a timeout or a death by signal.
  int Signal(int signal, int seconds = 20) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    return WaitExit(seconds);
  }
  // Waits (bounded) for the program to end on its own, draining its output.
  int WaitExit(int seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (out_ >= 0 || err_ >= 0) {
      if (!Drain(deadline)) break;
    }
    // Both pipes close when the program exits (it passes them to no one), so
    // the wait below is short.
    if (out_ >= 0 || err_ >= 0) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  bool WaitFor(const std::string& stream, const std::string& text, int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (stream.find(text) == std::string::npos) {
      if (out_ < 0 && err_ < 0) return false;
      if (!Drain(deadline)) return stream.find(text) != std::string::npos;
    }
    return true;
  }

  // One poll on the open pipes until the deadline; false on timeout.
  bool Drain(std::chrono::steady_clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    int ready = ::poll(fds, 2, static_cast<int>(left.count()));
    if (ready <= 0) return false;
    ReadInto(fds[0], out_, outText_);
    ReadInto(fds[1], err_, errText_);
    if (outArrivals_.empty() || outArrivals_.back().second < outText_.size()) {
      outArrivals_.emplace_back(std::chrono::steady_clock::now(), outText_.size());
    }
    return true;
  }
  static void ReadInto(const pollfd& fd, int& descriptor, std::string& text) {
    if (descriptor < 0 || fd.revents == 0) return;
    char buffer[4096];
    ssize_t n = ::read(descriptor, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else {
      Close(descriptor);
    }
  }
  static void Close(int& descriptor) {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
  }
  void Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string outText_;
  std::string errText_;
  // The time of each read of standard output and the text's size after it.
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::size_t>> outArrivals_;
};

}  // namespace kivo::test
