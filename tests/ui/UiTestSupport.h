// Recorders and a scratch machine for the shell tests: message boxes,
// launcher, beeper and flasher that remember what was asked of them, a
// service link that answers from a script, and a temporary directory.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "monitor/ServiceLink.h"
#include "platform/Desktop.h"
#include "support/DesktopDoubles.h"
#include "support/TempDir.h"
#include "ui/DesktopServices.h"

namespace kivo::test {

using RecordingBoxes = RecordingMessageBoxes;

class RecordingBeeper : public Beeper {
 public:
  void Beep(unsigned frequencyHz, unsigned durationMs) override {
    beeps.push_back({frequencyHz, durationMs});
  }
  bool Audible() override { return audible; }
  std::vector<std::pair<unsigned, unsigned>> beeps;
  bool audible = true;  // false: no sound device opens
};

class RecordingFlasher : public Flasher {
 public:
  void FlashWindow(QWidget&, bool invert) override { flashes.push_back(invert); }
  std::vector<bool> flashes;
};

// Answers every fetch with the next scripted status and word (status 0, word
// 0 when the script is empty).
class ScriptedServiceLink : public ServiceLink {
 public:
  ScriptedServiceLink() : ServiceLink("/nonexistent") {}
  std::uint32_t FetchNotification(int controllerId, std::uint16_t* word) override {
    std::lock_guard guard(mutex_);
    fetchedIds.push_back(controllerId);
    if (script_.empty()) {
      *word = 0;
      return 0;
    }
    const auto [status, answer] = script_.front();
    script_.pop_front();
    if (status == 0) *word = answer;
    return status;
  }
  void ShutdownService() override {}
  void Add(std::uint32_t status, std::uint16_t word) {
    std::lock_guard guard(mutex_);
    script_.push_back({status, word});
  }
  std::vector<int> fetchedIds;

 private:
  std::mutex mutex_;
  std::deque<std::pair<std::uint32_t, std::uint16_t>> script_;
};

using ScratchDirectory = TempDir;

}  // namespace kivo::test
