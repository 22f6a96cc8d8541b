// The control endpoint's text protocol on both platforms: splitting and
// answering a command line on the server, the ctl arguments, the line sent
// and the reading of the answer on the client.
#include "emulator/ControlProtocol.h"

namespace kivo::emulator {

std::vector<std::string> SplitControlWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\r') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string AnswerControlLine(World& world, ServiceSwitch* service, const std::string& received) {
  const std::string line = received.substr(0, received.find('\n'));
  ControlReply reply = RunControlCommand(world, service, SplitControlWords(line));
  return (reply.ok ? "ok\n" : "error\n") + reply.text;
}

int ParseControlArguments(const std::vector<std::string>& arguments, const std::string& endpointOption,
                          const std::string& endpointWhat, ControlArguments* parsed, std::ostream& out,
                          std::ostream& err) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (parsed->words.empty() && arguments[i] == endpointOption) {
      if (i + 1 >= arguments.size()) {
        err << "zelka-emulator ctl: " << endpointOption << " needs " << endpointWhat << "\n"
            << ControlUsage();
        return 2;
      }
      parsed->endpoint = arguments[++i];
    } else if (parsed->words.empty() && (arguments[i] == "--help" || arguments[i] == "-h")) {
      out << ControlUsage();
      return 0;
    } else {
      if (arguments[i].empty() || arguments[i].find_first_of(" \t\r\n") != std::string::npos) {
        err << "zelka-emulator ctl: an argument may not be empty or hold blanks: '" << arguments[i] << "'\n";
        return 2;
      }
      parsed->words.push_back(arguments[i]);
    }
  }
  if (parsed->words.empty()) {
    err << "zelka-emulator ctl: no command given\n" << ControlUsage();
    return 2;
  }
  return -1;
}

std::string JoinControlWords(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) line += (line.empty() ? "" : " ") + word;
  return line + "\n";
}

int PrintControlAnswer(const std::string& answer, std::ostream& out, std::ostream& err) {
  if (answer.rfind("ok\n", 0) == 0) {
    out << answer.substr(3);
    return 0;
  }
  if (answer.rfind("error\n", 0) == 0) {
    err << "zelka-emulator ctl: " << answer.substr(6);
    return 1;
  }
  err << "zelka-emulator ctl: unexpected answer from the emulator\n";
  return 2;
}

}  // namespace kivo::emulator
