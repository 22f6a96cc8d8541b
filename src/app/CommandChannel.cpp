// The command channel's names and texts over the platform's command socket.
#include "app/CommandChannel.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/InstanceCheck.h"

namespace kivo {

namespace {

constexpr char kTokenKey[] = "XDG_ACTIVATION_TOKEN=";
// The longest datagram: a command line and a token line.
constexpr std::size_t kMaxMessageLength = 16 + sizeof kTokenKey + kMaxActivationTokenLength;

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string CommandSocketPath(const std::string& runtimeDirectory, const std::string& displayKey) {
  return runtimeDirectory + "/" + InstanceFileName(kMainWindowTitle, displayKey, ".command");
}

std::string CommandSocketPath(const std::string& runtimeDirectory, const SessionKey& session) {
  return runtimeDirectory + "/" + InstanceFileName(kMainWindowTitle, session, ".command");
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

bool IsActivationToken(const std::string& token) {
  if (token.empty() || token.size() > kMaxActivationTokenLength) return false;
  for (const char c : token) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

std::string CommandMessageText(const CommandMessage& message) {
  std::string text = std::to_string(message.command) + "\n";
  if (!message.activationToken.empty()) text += kTokenKey + message.activationToken + "\n";
  return text;
}

std::optional<CommandMessage> ParseCommandMessage(const std::string& text) {
  const std::size_t lineEnd = text.find('\n');
  const std::optional<int> command = ParseCommandText(text.substr(0, lineEnd));
  if (!command) return std::nullopt;
  CommandMessage message;
  message.command = *command;
  if (lineEnd == std::string::npos || lineEnd + 1 == text.size()) return message;
  std::string rest = text.substr(lineEnd + 1);
  if (rest.back() == '\n') rest.pop_back();
  if (rest.compare(0, sizeof kTokenKey - 1, kTokenKey) != 0) return std::nullopt;
  message.activationToken = rest.substr(sizeof kTokenKey - 1);
  if (!IsActivationToken(message.activationToken)) return std::nullopt;
  return message;
}

bool CommandReceiver::Bind(const std::string& path) {
  std::string error;
  if (socket_.Bind(path, &error)) return true;
  std::fprintf(stderr, "kivo: %s\n", error.c_str());
  return false;
}

std::optional<CommandMessage> CommandReceiver::ReceiveMessage() {
  // A datagram longer than any command is not one (its cut head might parse).
  const std::optional<std::string> text = socket_.ReceiveOne(kMaxMessageLength);
  if (!text) return std::nullopt;
  return ParseCommandMessage(*text);
}

std::optional<int> CommandReceiver::ReceiveOne() {
  const std::optional<CommandMessage> message = ReceiveMessage();
  if (!message) return std::nullopt;
  return message->command;
}

SessionNames SessionNames::FromEnvironment() {
  return SessionNames{EnvironmentValue("WAYLAND_DISPLAY"), EnvironmentValue("DISPLAY")};
}

int SendToRunningInstance(const std::string& runtimeDirectory, const SessionNames& session, int command,
                          const std::string& activationToken, std::string* path) {
  std::vector<std::string> paths;
  for (const SessionKey& key :
       {SessionKey::Wayland(session.waylandDisplay), SessionKey::X11(session.displayName)}) {
    if (key.kind != SessionKey::Kind::kUser) paths.push_back(CommandSocketPath(runtimeDirectory, key));
  }
  paths.push_back(CommandSocketPath(runtimeDirectory));
  *path = paths.front();
  int error = ENOENT;
  for (const std::string& candidate : paths) {
    error = SendCommand(candidate, command, activationToken);
    // Nobody listens here: try the next place.
    if (error != ECONNREFUSED && error != ENOENT) {
      *path = candidate;
      return error;
    }
  }
  return error;
}

int SendCommand(const std::string& path, int command, const std::string& activationToken) {
  if (!activationToken.empty() && !IsActivationToken(activationToken)) return EINVAL;
  return platform::SendDatagram(path, CommandMessageText(CommandMessage{command, activationToken}));
}

std::string TakeActivationToken() {
  std::string token = EnvironmentValue("XDG_ACTIVATION_TOKEN");
  ::unsetenv("XDG_ACTIVATION_TOKEN");
  return IsActivationToken(token) ? token : "";
}

}  // namespace kivo
