// The text protocol of the control endpoint, the same on the Unix socket and
// the named pipe: the client sends the command's words separated by single
// blanks and ended by a newline; the server answers "ok\n" or "error\n"
// followed by the text to print, and closes.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "emulator/ControlCommand.h"
#include "emulator/World.h"

namespace kivo::emulator {

// The longest command line a server takes, without its newline.
constexpr std::size_t kMaxCommandLine = 4096;

// The answer to a client whose command line did not arrive whole.
constexpr const char* kIncompleteCommandAnswer = "error\nno complete command line arrived\n";

// Splits a command line into words at blanks, tabs and carriage returns.
std::vector<std::string> SplitControlWords(const std::string& line);

// The server's whole answer to `received`: the command line is what comes
// before its first newline (all of it when there is none).
std::string AnswerControlLine(World& world, ServiceSwitch* service, const std::string& received);

// The arguments of `zelka-emulator ctl` after "ctl": the endpoint option
// (--rpc-dir on Linux, --pipe on Windows) and the command's words.
struct ControlArguments {
  std::string endpoint;  // left as the caller set it when the option is absent
  std::vector<std::string> words;
};

// Reads `arguments` into *parsed. Returns -1 when there is a command to send,
// otherwise the exit code of ctl (0 after --help, 2 for bad usage) with the
// text already printed. `endpointWhat` names the option's value in errors.
int ParseControlArguments(const std::vector<std::string>& arguments, const std::string& endpointOption,
                          const std::string& endpointWhat, ControlArguments* parsed, std::ostream& out,
                          std::ostream& err);

// The line the client sends for `words`, newline included.
std::string JoinControlWords(const std::vector<std::string>& words);

// Prints the emulator's answer; returns ctl's exit code (0 done, 1 refused,
// 2 for an answer that is neither).
int PrintControlAnswer(const std::string& answer, std::ostream& out, std::ostream& err);

}  // namespace kivo::emulator
