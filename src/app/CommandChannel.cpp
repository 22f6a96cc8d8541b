// The command channel's names and texts over the platform's command socket.
#include "app/CommandChannel.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <vector>

#include "app/InstanceCheck.h"

namespace kivo {

std::string CommandSocketPath(const std::string& runtimeDirectory, const std::string& displayKey) {
  return runtimeDirectory + "/" + InstanceFileName(kMainWindowTitle, displayKey, ".command");
}

std::optional<int> ParseCommandText(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin &&
         (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\n' || text[end - 1] == '\r')) {
    --end;
  }
  if (begin == end || end - begin > 5) return std::nullopt;
  int value = 0;
  const char* first = text.data() + begin;
  const char* last = text.data() + end;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || value < 0 || value > 65535) return std::nullopt;
  return value;
}

bool CommandReceiver::Bind(const std::string& path) {
  std::string error;
  if (socket_.Bind(path, &error)) return true;
  std::fprintf(stderr, "kivo: %s\n", error.c_str());
  return false;
}

std::optional<int> CommandReceiver::ReceiveOne() {
  // A datagram longer than any command is not one (its cut head might parse).
  const std::optional<std::string> text = socket_.ReceiveOne(64);
  if (!text) return std::nullopt;
  return ParseCommandText(*text);
}

int SendToRunningInstance(const std::string& runtimeDirectory, const std::string& displayName, int command,
                          std::string* path) {
  std::vector<std::string> paths;
  if (const std::string key = DisplayKey(displayName); !key.empty()) {
    paths.push_back(CommandSocketPath(runtimeDirectory, key));
  }
  paths.push_back(CommandSocketPath(runtimeDirectory));
  *path = paths.front();
  int error = ENOENT;
  for (const std::string& candidate : paths) {
    error = SendCommand(candidate, command);
    // Nobody listens here: try the next place.
    if (error != ECONNREFUSED && error != ENOENT) {
      *path = candidate;
      return error;
    }
  }
  return error;
}

int SendCommand(const std::string& path, int command) {
  return platform::SendDatagram(path, std::to_string(command) + "\n");
}

}  // namespace kivo
