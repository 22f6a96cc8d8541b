// Test doubles of the desktop seam shared by every test folder: message boxes
// that record what was shown and answer from a script, and a launcher that
// records what it was asked to open.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Win32Types.h"

namespace kivo::test {

struct ShownBox {
  bool owned;
  std::string text;
  std::string caption;
  platform::UINT type;
};

class RecordingMessageBoxes : public platform::MessageBoxes {
 public:
  // Answers with the next scripted answer, IDOK when none is left.
  int MessageBoxA(bool owned, const std::string& text, const std::string& caption,
                  platform::UINT type) override {
    shown.push_back({owned, text, caption, type});
    if (answers.empty()) return platform::IDOK;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::vector<ShownBox> shown;
  std::deque<int> answers;
};

class RecordingLauncher : public platform::Launcher {
 public:
  void OpenTextFile(const std::string& path) override { textFiles.push_back(path); }
  void OpenUrl(const std::string& url) override { urls.push_back(url); }
  std::vector<std::string> textFiles;
  std::vector<std::string> urls;
};

}  // namespace kivo::test
