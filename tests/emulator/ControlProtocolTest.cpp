// The control endpoint's text protocol as both platforms use it: the words of
// a command line, the ctl arguments with either endpoint option, and the
// reading of the emulator's answer.
#include <gtest/gtest.h>

#include <sstream>

#include "emulator/ControlProtocol.h"

namespace kivo::test {
namespace {

using namespace kivo::emulator;
using Words = std::vector<std::string>;

TEST(ControlProtocolTest, WordsAreSplitAtBlanksTabsAndCarriageReturns) {
  EXPECT_EQ(SplitControlWords("aen  0\t9 1\r"), (Words{"aen", "0", "9", "1"}));
  EXPECT_EQ(SplitControlWords(" \t\r"), Words{});
}

TEST(ControlProtocolTest, TheServerAnswersTheLineBeforeTheFirstNewline) {
  World world;
  BuildDefaultWorld(world);
  EXPECT_EQ(AnswerControlLine(world, nullptr, "aen 0 9 1\nbogus\n").rfind("ok\n", 0), 0u);
  EXPECT_EQ(AnswerControlLine(world, nullptr, "bogus\naen 0 9 1\n").rfind("error\n", 0), 0u);
}

struct ArgumentCase {
  Words arguments;
  int code;
  std::string endpoint;
  Words words;
  std::string err;  // the start of what was printed on standard error
};

TEST(ControlProtocolTest, ArgumentsTakeTheEndpointOptionOnlyBeforeTheCommand) {
  const ArgumentCase cases[] = {
      {{"--pipe", "P", "aen", "0"}, -1, "P", {"aen", "0"}, ""},
      {{"aen", "--pipe", "P"}, -1, "default", {"aen", "--pipe", "P"}, ""},
      {{"--pipe"}, 2, "default", {}, "zelka-emulator ctl: --pipe needs a pipe prefix\n"},
      {{"--pipe", "P"}, 2, "P", {}, "zelka-emulator ctl: no command given\n"},
      {{"aen", "0 9"},
       2,
       "default",
       {"aen"},
       "zelka-emulator ctl: an argument may not be empty or hold blanks"},
      {{"-h"}, 0, "default", {}, ""},
  };
  for (const ArgumentCase& c : cases) {
    ControlArguments parsed;
    parsed.endpoint = "default";
    std::ostringstream out, err;
    EXPECT_EQ(ParseControlArguments(c.arguments, "--pipe", "a pipe prefix", &parsed, out, err), c.code)
        << c.arguments.size();
    EXPECT_EQ(parsed.endpoint, c.endpoint);
    EXPECT_EQ(parsed.words, c.words);
    EXPECT_EQ(err.str().rfind(c.err, 0), 0u) << err.str();
  }
}

TEST(ControlProtocolTest, TheAnswerDecidesTheExitCode) {
  EXPECT_EQ(JoinControlWords({"aen", "0", "9"}), "aen 0 9\n");
  struct {
    const char* answer;
    int code;
    const char* out;
    const char* err;
  } const cases[] = {
      {"ok\nqueued\n", 0, "queued\n", ""},
      {"error\nno such unit\n", 1, "", "zelka-emulator ctl: no such unit\n"},
      {"garbage", 2, "", "zelka-emulator ctl: unexpected answer from the emulator\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(PrintControlAnswer(c.answer, out, err), c.code) << c.answer;
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str(), c.err);
  }
}

}  // namespace
}  // namespace kivo::test
