// The control pipe of the running emulator and the ctl client that talks to
// it. A command line is at most 4096 bytes and ends in a newline; the answer
// is "ok\n" or "error\n" and the text, then the server closes.
#include "emulator/win32/ControlServer.h"

#include <sstream>

#include "emulator/ControlCommand.h"
#include "emulator/win32/DeviceServer.h"
#include "emulator/win32/ServiceServer.h"

#include <windows.h>

namespace kivo::emulator {
namespace {

constexpr std::size_t kMaxCommandLine = 4096;

std::vector<std::string> SplitWords(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

}  // namespace

ControlServer::ControlServer(World& world, ServiceServer* service) : world_(world), service_(service) {}

ControlServer::~ControlServer() {
  Stop();
}

bool ControlServer::Start(const std::string& pipePrefix, std::string* error) {
  pipe_ = std::make_unique<PipeServer>(std::string(pipePrefix) + kControlSocketName,
                                       [this](PipeConnection& connection) { Serve(connection); });
  return pipe_->Start(error);
}

void ControlServer::Stop() {
  if (pipe_) pipe_->Stop();
  pipe_.reset();
}

void ControlServer::Serve(PipeConnection& connection) {
  std::string line;
  char buffer[512];
  while (line.find('\n') == std::string::npos && line.size() <= kMaxCommandLine) {
    const std::size_t got = connection.ReadSome(buffer, sizeof buffer);
    if (got == 0) break;
    line.append(buffer, got);
  }
  const std::size_t newline = line.find('\n');
  std::string answer;
  if (newline == std::string::npos || newline > kMaxCommandLine) {
    answer = "error\nno complete command line arrived\n";
  } else {
    line.resize(newline);
    ControlReply reply = RunControlCommand(world_, service_, SplitWords(line));
    answer = (reply.ok ? "ok\n" : "error\n") + reply.text;
  }
  connection.WriteAll(answer.data(), answer.size());
}

int RunControlClient(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::string prefix = DefaultPipePrefix();
  std::vector<std::string> words;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (words.empty() && arguments[i] == "--pipe") {
      if (i + 1 >= arguments.size()) {
        err << "zelka-emulator ctl: --pipe needs a pipe prefix\n" << ControlUsage();
        return 2;
      }
      prefix = arguments[++i];
    } else if (words.empty() && (arguments[i] == "--help" || arguments[i] == "-h")) {
      out << ControlUsage();
      return 0;
    } else {
      if (arguments[i].empty() || arguments[i].find_first_of(" \t\r\n") != std::string::npos) {
        err << "zelka-emulator ctl: an argument may not be empty or hold blanks: '" << arguments[i] << "'\n";
        return 2;
      }
      words.push_back(arguments[i]);
    }
  }
  if (words.empty()) {
    err << "zelka-emulator ctl: no command given\n" << ControlUsage();
    return 2;
  }
  const std::string path = prefix + kControlSocketName;
  HANDLE pipe =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PIPE_BUSY &&
      WaitNamedPipeA(path.c_str(), 10000)) {
    pipe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  if (pipe == INVALID_HANDLE_VALUE) {
    err << "zelka-emulator ctl: no emulator answers at " << path << "\n";
    return 2;
  }
  std::string line;
  for (const std::string& word : words) line += (line.empty() ? "" : " ") + word;
  line += "\n";
  DWORD written = 0;
  WriteFile(pipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  std::string answer;
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) answer.append(buffer, got);
  CloseHandle(pipe);
  if (answer.rfind("ok\n", 0) == 0) {
    out << answer.substr(3);
    return 0;
  }
  if (answer.rfind("error\n", 0) == 0) {
    err << "zelka-emulator ctl: " << answer.substr(6);
    return 1;
  }
  err << "zelka-emulator ctl: the emulator did not answer\n";
  return 2;
}

}  // namespace kivo::emulator
