// The control socket of the running emulator and the ctl client that talks
// to it. Commands are short, so connections are answered one at a time, each
// with a bounded wait for its command line.
#include "emulator/ControlServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "emulator/ControlProtocol.h"
#include "emulator/posix/ServiceServer.h"
#include "platform/ServiceRpc.h"
#include "platform/posix/RpcSocket.h"

namespace kivo::emulator {

namespace {

constexpr int kCommandWaitMs = 2000;
constexpr int kAnswerWaitMs = 10000;

// Reads until a newline, the end of the stream, the limit or the deadline.
// False unless a newline or the end arrived in time.
bool ReadText(int fd, int waitMs, bool stopAtNewline, std::string* text) {
  platform::RpcDeadline deadline = platform::DeadlineAfter(static_cast<std::uint32_t>(waitMs));
  char buffer[512];
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer, static_cast<std::size_t>(n));
    if (stopAtNewline && text->find('\n') != std::string::npos) return true;
    if (text->size() > kMaxCommandLine * 16) return false;
  }
}

void WriteAll(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, kCommandWaitMs) <= 0) return;
      continue;
    }
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

ControlServer::ControlServer(World& world, ServiceServer* service) : world_(world), service_(service) {}

ControlServer::~ControlServer() {
  Stop();
}

bool ControlServer::Start(const std::string& rpcDirectory, std::string* error) {
  Stop();
  if (!platform::MakeRpcDirectory(rpcDirectory)) {
    *error = "cannot create the directory " + rpcDirectory + ": " + std::strerror(errno);
    return false;
  }
  std::string path = platform::RpcEndpointPath(rpcDirectory, kControlSocketName);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *error = "the control socket path is too long: " + path;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode)) {
      *error = path + " exists and is not a socket";
      return false;
    }
    if (platform::RpcStream::Connect(path)) {
      *error = "another emulator is listening on " + path;
      return false;
    }
    unlink(path.c_str());
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0 ||
      pipe2(stopPipe_, O_CLOEXEC) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  path_ = path;
  listenFd_ = fd;
  thread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void ControlServer::Stop() {
  if (listenFd_ < 0) return;
  char byte = 1;
  ssize_t ignored = write(stopPipe_[1], &byte, 1);
  (void)ignored;
  if (thread_.joinable()) thread_.join();
  close(listenFd_);
  listenFd_ = -1;
  close(stopPipe_[0]);
  close(stopPipe_[1]);
  stopPipe_[0] = stopPipe_[1] = -1;
  unlink(path_.c_str());
}

void ControlServer::AcceptLoop() {
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    int ready = poll(p, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || p[1].revents != 0) return;
    if (!(p[0].revents & POLLIN)) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Serve(fd);
    close(fd);
  }
}

void ControlServer::Serve(int fd) {
  std::string line;
  if (!ReadText(fd, kCommandWaitMs, true, &line) || line.size() > kMaxCommandLine) {
    WriteAll(fd, kIncompleteCommandAnswer);
    return;
  }
  WriteAll(fd, AnswerControlLine(world_, service_, line));
}

int RunControlClient(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  ControlArguments parsed;
  if (int code = ParseControlArguments(arguments, "--rpc-dir", "a directory", &parsed, out, err); code >= 0)
    return code;
  std::string directory = parsed.endpoint;
  if (directory.empty()) directory = platform::DefaultRpcDirectory();
  std::string path = platform::RpcEndpointPath(directory, kControlSocketName);
  std::unique_ptr<platform::RpcStream> stream = platform::RpcStream::Connect(path);
  if (!stream) {
    err << "zelka-emulator ctl: no emulator answers at " << path << "\n";
    return 2;
  }
  WriteAll(stream->Fd(), JoinControlWords(parsed.words));
  std::string answer;
  if (!ReadText(stream->Fd(), kAnswerWaitMs, false, &answer)) {
    err << "zelka-emulator ctl: the emulator did not answer\n";
    return 2;
  }
  return PrintControlAnswer(answer, out, err);
}

}  // namespace kivo::emulator
