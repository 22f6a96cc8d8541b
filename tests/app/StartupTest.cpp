// Start-up: the switches by case-sensitive substring, and the order of the
// start-up steps with a recording double of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/StartupOptions.h"
#include "shell/StartupSequence.h"

namespace kivo {
namespace {

struct SwitchCase {
  const char* text;
  bool serverShutdown;
  bool quiet;
  bool maximise;
};

TEST(StartupOptionsTest, SwitchesAreCaseSensitiveSubstrings) {
  const SwitchCase cases[] = {
      {"", false, false, false},
      {"-q", false, true, false},
      {"-max", false, false, true},
      {"-max -q", false, true, true},
      {"-Q", false, false, false},
      {"-MAX", false, false, false},
      {"-Max", false, false, false},
      {"--quick", false, true, false},  // "-q" inside a longer word
      {"x-qy", false, true, false},
      {"-maximum", false, false, true},
      {"-servershutdown", true, false, false},
      {"-servershutdown -max -q", true, true, true},
      {"-SERVERSHUTDOWN", false, false, false},
      {"- q -ma x", false, false, false},
  };
  for (const SwitchCase& c : cases) {
    const StartupOptions options = StartupOptions::Parse(c.text);
    EXPECT_EQ(options.serverShutdown, c.serverShutdown) << c.text;
    EXPECT_EQ(options.quiet, c.quiet) << c.text;
    EXPECT_EQ(options.maximise, c.maximise) << c.text;
  }
}

TEST(StartupOptionsTest, ArgumentsAreJoinedWithBlanksAfterTheProgramPath) {
  const char* argv[] = {"/usr/bin/kivo", "-m", "ax", "-q"};
  EXPECT_EQ(JoinArguments(4, argv), "-m ax -q");
  // Switches split across arguments are not found: the blank sits between.
  EXPECT_FALSE(StartupOptions::Parse(JoinArguments(4, argv)).maximise);
  const char* only[] = {"kivo"};
  EXPECT_EQ(JoinArguments(1, only), "");
  // One argument holding both switches, as a shell would pass "-max-q".
  const char* glued[] = {"kivo", "-max-q"};
  const StartupOptions options = StartupOptions::Parse(JoinArguments(2, glued));
  EXPECT_TRUE(options.maximise);
  EXPECT_TRUE(options.quiet);
}

TEST(StartupOptionsTest, AudioDecision) {
  EXPECT_EQ(DecideAudioOff(false, 0), 0);
  EXPECT_EQ(DecideAudioOff(false, 1), 1);
  EXPECT_EQ(DecideAudioOff(false, 2), 0);  // only exactly 1 means off
  EXPECT_EQ(DecideAudioOff(false, 0xFFFFFFFFu), 0);
  EXPECT_EQ(DecideAudioOff(true, 0), 1);
  EXPECT_EQ(DecideAudioOff(true, 2), 1);
}

class RecordingSteps : public StartupSteps {
 public:
  bool IsFirstInstance() override {
    calls.push_back("instance");
    return firstInstance;
  }
  bool InitialiseSockets() override {
    calls.push_back("sockets");
    return socketsOk;
  }
  void ShowStartupMessage(const std::string& text) override { calls.push_back("message:" + text); }
  void ShutdownService() override { calls.push_back("shutdown"); }
  std::uint32_t ReadStoredAudioOff() override {
    calls.push_back("audio");
    return storedAudio;
  }
  void SetAudioOffFlag(int value) override { calls.push_back("flag:" + std::to_string(value)); }
  int RunMainDialog(int startHidden) override {
    calls.push_back("run:" + std::to_string(startHidden));
    return dialogResult;
  }
  void RemoveTrayIcon() override { calls.push_back("removeTray"); }

  bool firstInstance = true;
  bool socketsOk = true;
  std::uint32_t storedAudio = 0;
  int dialogResult = 1;
  std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST(StartupSequenceTest, PlainStartRunsHiddenWithStoredAudio) {
  RecordingSteps steps;
  EXPECT_EQ(RunStartup(steps, ""), 0);
  EXPECT_EQ(steps.calls, (Calls{"instance", "sockets", "audio", "flag:0", "run:1", "removeTray"}));
}

TEST(StartupSequenceTest, SecondInstanceEndsSilentlyBeforeAnythingElse) {
  RecordingSteps steps;
  steps.firstInstance = false;
  EXPECT_EQ(RunStartup(steps, "-max"), 0);
  EXPECT_EQ(steps.calls, (Calls{"instance"}));
}

TEST(StartupSequenceTest, ServerShutdownWhileAnInstanceRunsDoesNotAskTheService) {
  RecordingSteps steps;
  steps.firstInstance = false;
  EXPECT_EQ(RunStartup(steps, "-servershutdown"), 0);
  EXPECT_EQ(steps.calls, (Calls{"instance"}));
}

TEST(StartupSequenceTest, ServerShutdownAsksTheServiceAndLooksAtNothingElse) {
  RecordingSteps steps;
  EXPECT_EQ(RunStartup(steps, "-servershutdown -max -q"), 0);
  EXPECT_EQ(steps.calls, (Calls{"instance", "sockets", "shutdown"}));
}

TEST(StartupSequenceTest, SocketFailureShowsTheMessageAndEnds) {
  RecordingSteps steps;
  steps.socketsOk = false;
  EXPECT_EQ(RunStartup(steps, "-servershutdown"), 1);
  EXPECT_EQ(steps.calls, (Calls{"instance", "sockets", "message:Windows sockets initialization failed."}));
}

TEST(StartupSequenceTest, QuietAndMaxTogether) {
  RecordingSteps steps;
  steps.storedAudio = 0;
  RunStartup(steps, "-max -q");
  EXPECT_EQ(steps.calls, (Calls{"instance", "sockets", "audio", "flag:1", "run:0", "removeTray"}));
}

TEST(StartupSequenceTest, StoredAudioOffTwoKeepsAudioOn) {
  RecordingSteps steps;
  steps.storedAudio = 2;
  RunStartup(steps, "");
  EXPECT_EQ(steps.calls[3], "flag:0");
  steps.calls.clear();
  steps.storedAudio = 1;
  RunStartup(steps, "");
  EXPECT_EQ(steps.calls[3], "flag:1");
}

TEST(StartupSequenceTest, TrayIconRemovedOnlyAfterOkOrCancel) {
  for (int result : {1, 2, 0, -1, 3}) {
    RecordingSteps steps;
    steps.dialogResult = result;
    RunStartup(steps, "-max");
    const bool removed = steps.calls.back() == "removeTray";
    EXPECT_EQ(removed, result == 1 || result == 2) << result;
  }
}

}  // namespace
}  // namespace kivo
