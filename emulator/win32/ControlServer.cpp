// The control pipe of the running emulator and the ctl client that talks to
// it. A command line is at most 4096 bytes and ends in a newline; the answer
// is "ok\n" or "error\n" and the text, then the server closes.
#include "emulator/ControlServer.h"

#include "emulator/ControlProtocol.h"
#include "emulator/DeviceServer.h"
#include "emulator/win32/PipeServer.h"
#include "emulator/win32/ServiceServer.h"

#include <windows.h>

namespace kivo::emulator {
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
  const std::string answer = newline == std::string::npos || newline > kMaxCommandLine
                                 ? std::string(kIncompleteCommandAnswer)
                                 : AnswerControlLine(world_, service_, line);
  connection.WriteAll(answer.data(), answer.size());
}

int RunControlClient(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  ControlArguments parsed;
  parsed.endpoint = DefaultPipePrefix();
  if (int code = ParseControlArguments(arguments, "--pipe", "a pipe prefix", &parsed, out, err); code >= 0)
    return code;
  const std::string& prefix = parsed.endpoint;
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
  const std::string line = JoinControlWords(parsed.words);
  DWORD written = 0;
  WriteFile(pipe, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  std::string answer;
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) answer.append(buffer, got);
  CloseHandle(pipe);
  if (answer.empty()) {
    err << "zelka-emulator ctl: the emulator did not answer\n";
    return 2;
  }
  return PrintControlAnswer(answer, out, err);
}

}  // namespace kivo::emulator
