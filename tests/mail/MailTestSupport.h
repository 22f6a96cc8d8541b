// Doubles shared by the mail tests: message boxes that record what they
// showed, a temporary directory per test, and a main-window stand-in that
// owns a MailSender and delivers its posted status messages.
#pragma once

#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "mail/MailSender.h"
#include "platform/Desktop.h"
#include "support/DesktopDoubles.h"
#include "support/TempDir.h"

namespace kivo::test {

using RecordingBoxes = RecordingMessageBoxes;

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The main window's part in the mail conversation: SendMailStatus is handled
// at once, PostMailStatus waits for DeliverPosted (the message loop).
class FakeMailWindow : public MailOwner {
 public:
  FakeMailWindow(platform::SocketWatcher& watcher, EmailLog& log, unsigned port,
                 platform::SocketWait* wait = nullptr)
      : sender(*this, watcher, log, port, wait) {}
  void SendMailStatus(int wParam, long lParam) override {
    sent.emplace_back(wParam, lParam);
    sender.HandleMailStatus(wParam, lParam);
  }
  void PostMailStatus(int wParam, long lParam) override { queue.emplace_back(wParam, lParam); }
  void DeliverPosted() {
    while (!queue.empty()) {
      auto message = queue.front();
      queue.pop_front();
      posted.push_back(message);
      sender.HandleMailStatus(message.first, message.second);
    }
  }

  MailSender sender;
  std::vector<std::pair<int, long>> sent;
  std::vector<std::pair<int, long>> posted;
  std::deque<std::pair<int, long>> queue;
};

}  // namespace kivo::test
