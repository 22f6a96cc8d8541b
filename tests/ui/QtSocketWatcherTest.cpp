// Read notifications through QSocketNotifier: data, orderly close, a
// replaced callback, unwatching from inside the callback, and time limits.
#include "ui/QtSocketWatcher.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <memory>

#include "platform/TcpSocket.h"
#include "support/FakeClock.h"

namespace kivo::test {
namespace {

class SocketPair {
 public:
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  ~SocketPair() {
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
  }
  int Watched() const { return fds_[0]; }
  void Send(const char* text) { ASSERT_GT(::write(fds_[1], text, strlen(text)), 0); }
  void ClosePeer() {
    ::close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(QtSocketWatcherTest, ReadableSocketCallsBackWithoutError) {
  SocketPair pair;
  QtSocketWatcher watcher;
  int calls = 0;
  int lastError = -1;
  watcher.Watch(pair.Watched(), [&](int error) {
    ++calls;
    lastError = error;
    char buffer[16];
    EXPECT_GT(::read(pair.Watched(), buffer, sizeof(buffer)), 0);
  });
  EXPECT_TRUE(watcher.Watching(pair.Watched()));
  pair.Send("220 ready\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
  EXPECT_EQ(lastError, 0);
}

TEST(QtSocketWatcherTest, SecondWatchReplacesTheCallback) {
  SocketPair pair;
  QtSocketWatcher watcher;
  int first = 0;
  int second = 0;
  auto drain = [&] {
    char buffer[16];
    EXPECT_GT(::read(pair.Watched(), buffer, sizeof(buffer)), 0);
  };
  watcher.Watch(pair.Watched(), [&](int) {
    ++first;
    drain();
  });
  watcher.Watch(pair.Watched(), [&](int) {
    ++second;
    drain();
  });
  pair.Send("x");
  ASSERT_TRUE(QTest::qWaitFor([&] { return second > 0; }, 5000));
  EXPECT_EQ(first, 0);
}

TEST(QtSocketWatcherTest, UnwatchInsideTheCallbackIsSafeAndFinal) {
  SocketPair pair;
  QtSocketWatcher watcher;
  int calls = 0;
  // The callback owns state that dies when it unwatches.
  auto owned = std::make_shared<int>(7);
  watcher.Watch(pair.Watched(), [&, owned](int) {
    ++calls;
    watcher.Unwatch(pair.Watched());
    EXPECT_EQ(*owned, 7);
  });
  owned.reset();
  pair.ClosePeer();  // an orderly close is readable too, for ever
  ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
  // The closed socket stays readable: a watched one would notify again in
  // every pass of the event loop.
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(watcher.Watching(pair.Watched()));
  watcher.Unwatch(pair.Watched());  // unknown descriptors are ignored
}

TEST(QtSocketWatcherTest, ATimeLimitCallsBackWithTimedOutOnTheWatchersClock) {
  SocketPair pair;
  FakeClock clock;
  QtSocketWatcher watcher;
  watcher.SetClock(&clock);
  std::vector<int> errors;
  watcher.Watch(pair.Watched(), [&](int error) { errors.push_back(error); });
  watcher.SetTimeLimit(pair.Watched(), 60000);
  clock.Advance(60000);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !errors.empty(); }, 5000));
  EXPECT_EQ(errors, std::vector<int>{platform::WSAETIMEDOUT});
}

}  // namespace
}  // namespace kivo::test
