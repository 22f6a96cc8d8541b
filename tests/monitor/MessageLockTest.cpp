// MessageLock: the ready flag's rules and the lock around PendingText.
#include "monitor/MessageLock.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "monitor/PendingText.h"

namespace kivo::test {
namespace {

class MessageLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLock::Retire();
    PendingText().Clear();
  }
  void TearDown() override {
    MessageLock::Retire();
    PendingText().Clear();
  }
};

TEST_F(MessageLockTest, NotReadyUntilCreated) {
  EXPECT_FALSE(MessageLock::Ready());
  // Enter and leave do nothing while not ready.
  bool entered = MessageLock::Enter();
  EXPECT_FALSE(entered);
  MessageLock::Leave(entered);
  MessageLock::Create();
  EXPECT_TRUE(MessageLock::Ready());
}

TEST_F(MessageLockTest, SecondCreateDoesNothing) {
  MessageLock::Create();
  bool entered = MessageLock::Enter();
  ASSERT_TRUE(entered);
  // A second create while held neither blocks nor replaces the lock.
  auto created = std::async(std::launch::async, [] { MessageLock::Create(); });
  MessageLock::Leave(entered);
  created.get();
  EXPECT_TRUE(MessageLock::Ready());
  entered = MessageLock::Enter();
  EXPECT_TRUE(entered);
  MessageLock::Leave(entered);
}

TEST_F(MessageLockTest, RetireMarksNotReadyAndCreateRevives) {
  MessageLock::Create();
  MessageLock::Retire();
  EXPECT_FALSE(MessageLock::Ready());
  EXPECT_FALSE(MessageLock::Enter());
  MessageLock::Retire();  // a second retire does nothing
  MessageLock::Create();
  bool entered = MessageLock::Enter();
  EXPECT_TRUE(entered);
  MessageLock::Leave(entered);
}

TEST_F(MessageLockTest, RetireWaitsForTheHolderToLeave) {
  MessageLock::Create();
  bool entered = MessageLock::Enter();
  ASSERT_TRUE(entered);
  std::promise<void> started;
  auto retired = std::async(std::launch::async, [&] {
    started.set_value();
    MessageLock::Retire();
  });
  started.get_future().wait();
  // The holder still owns the lock and leaves it normally.
  EXPECT_TRUE(entered);
  MessageLock::Leave(entered);
  retired.get();
  EXPECT_FALSE(MessageLock::Ready());
  EXPECT_FALSE(MessageLock::Enter());
}

TEST_F(MessageLockTest, ScopeGuardsPendingTextAcrossThreads) {
  MessageLock::Create();
  constexpr int kLines = 2000;
  std::string taken;
  auto writer = std::async(std::launch::async, [] {
    for (int i = 0; i < kLines; ++i) {
      MessageLock::Scope lock;
      PendingText().Append("line\r\n");
    }
  });
  // The reader takes and clears in one lock, as the window side does.
  for (int i = 0; i < kLines; ++i) {
    MessageLock::Scope lock;
    taken += PendingText().Text();
    PendingText().Clear();
  }
  writer.get();
  taken += PendingText().Text();
  EXPECT_EQ(taken.size(), std::string("line\r\n").size() * kLines);
}

TEST_F(MessageLockTest, ScopeIsANoOpWhileNotReady) {
  { MessageLock::Scope lock; }
  MessageLock::Create();
  // Nothing was left held by the scope above.
  bool entered = MessageLock::Enter();
  EXPECT_TRUE(entered);
  MessageLock::Leave(entered);
}

}  // namespace
}  // namespace kivo::test
