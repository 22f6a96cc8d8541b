// Test doubles for the monitor's tests: a window that records what was asked
// of it (posts from any thread, window-side calls on the test thread) and a
// service link whose answers each test scripts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/MonitorWindow.h"
#include "monitor/ServiceLink.h"
#include "report/ReportText.h"
#include "support/FakeClock.h"

namespace kivo::test {

// The report text a rescan of the double leaves behind.
inline constexpr char kScannedReport[] = "REPORT\r\n";

class RecordingWindow : public MonitorWindow {
 public:
  struct Post {
    std::uint32_t wParam;
    std::uint64_t elapsedMs;  // virtual time of the post, when a clock is given
  };

  explicit RecordingWindow(FakeClock* clock = nullptr) : clock_(clock) {}

  void PostMonitorMessage(std::uint32_t wParam) override {
    if (onPost) onPost(wParam);
    {
      std::lock_guard guard(mutex_);
      posts_.push_back({wParam, clock_ != nullptr ? clock_->ElapsedMs() : 0});
      queue_.push_back(wParam);
    }
    posted_.notify_all();
  }

  // Waits (a few real seconds at most) until `count` messages were posted.
  bool WaitForPosts(std::size_t count) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, std::chrono::seconds(5), [&] { return posts_.size() >= count; });
  }
  std::vector<Post> Posts() {
    std::lock_guard guard(mutex_);
    return posts_;
  }
  std::vector<std::uint32_t> PostedParams() {
    std::vector<std::uint32_t> params;
    for (const Post& post : Posts()) params.push_back(post.wParam);
    return params;
  }
  // The oldest message not yet taken, as the window's message loop takes it.
  bool TakeMessage(std::uint32_t* wParam) {
    std::lock_guard guard(mutex_);
    if (queue_.empty()) return false;
    *wParam = queue_.front();
    queue_.pop_front();
    return true;
  }

  void Refresh() override {
    calls.push_back("Refresh");
    // Refresh rescans: the report begins afresh.
    ReportText().Assign(kScannedReport);
  }
  void ShowAlert(const std::string& line) override {
    calls.push_back("ShowAlert");
    alerts.push_back(line);
  }
  int FindControllerEntry(const std::string& text) override {
    calls.push_back("Find " + text);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i] == text) return static_cast<int>(i);
    }
    return -1;
  }
  void ScanControllers(int firstTime) override {
    calls.push_back("Scan " + std::to_string(firstTime));
    // A scan rebuilds the report from scratch.
    ReportText().Assign(kScannedReport);
  }
  void ShowController(int firstTime, int row) override {
    calls.push_back("ShowController " + std::to_string(firstTime) + "," + std::to_string(row));
    selectedRow = row;
  }
  void PushDisplayTexts() override { calls.push_back("Push"); }
  void StartMonitorThread() override {
    calls.push_back("StartMonitorThread");
    if (onStart) onStart();
  }

  // Window-side record (test thread only).
  std::vector<std::string> calls;
  std::vector<std::string> alerts;
  std::vector<std::string> entries;
  int selectedRow = -1;
  std::function<void()> onStart;
  // Called on the posting thread before each post is recorded; set before
  // the thread starts.
  std::function<void(std::uint32_t)> onPost;

 private:
  FakeClock* clock_;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::vector<Post> posts_;
  std::deque<std::uint32_t> queue_;
};

// A service whose answers come from a script: for each call, the status and
// word to give (the last entry repeats). Records the ids asked for.
class ScriptedServiceLink : public ServiceLink {
 public:
  struct Answer {
    std::uint32_t status;
    std::uint16_t word;
  };
  using Script = std::function<Answer(int controllerId, int call)>;

  explicit ScriptedServiceLink(Script script) : ServiceLink(""), script_(std::move(script)) {}

  std::uint32_t FetchNotification(int controllerId, std::uint16_t* word) override {
    Answer answer;
    {
      std::lock_guard guard(mutex_);
      answer = script_(controllerId, static_cast<int>(asked_.size()));
      asked_.push_back(controllerId);
    }
    if (answer.status == 0) *word = answer.word;
    return answer.status;
  }
  std::vector<int> Asked() {
    std::lock_guard guard(mutex_);
    return asked_;
  }

 private:
  Script script_;
  std::mutex mutex_;
  std::vector<int> asked_;
};

// Waits (a few real seconds at most) until the clock has been asked for
// `count` sleeps and the last one is pending, then moves the time to its end.
// Polls with yields: FakeClock signals sleepers, not sleep counts.
inline bool AdvancePastSleep(FakeClock& clock, std::size_t count) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (clock.Sleeps().size() < count || clock.Sleepers() < 1) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return clock.AdvanceToNextWake();
}

// Waits until the clock has been asked for `count` sleeps and the last one is
// pending, without moving the time.
inline bool WaitForSleepCount(FakeClock& clock, std::size_t count) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (clock.Sleeps().size() < count || clock.Sleepers() < 1) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace kivo::test
