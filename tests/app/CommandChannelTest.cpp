// The command channel and the instance lock: command texts, delivery to a
// bound receiver, refusal without one, a stale socket file, the lock held by
// one instance at a time.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "AppTestSupport.h"
#include "app/CommandChannel.h"
#include "app/CommandListener.h"
#include "app/InstanceCheck.h"
#include "platform/EndpointTrust.h"

namespace kivo {
namespace {

bool SendRaw(const std::string& path, const std::string& text) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  const bool sent = ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&address),
                             sizeof address) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return sent;
}

TEST(CommandChannelTest, ParsesOnlyPlainCommandNumbers) {
  struct Case {
    const char* text;
    int expected;  // -1: refused
  } const cases[] = {
      {"32778", 32778}, {"32771\n", 32771}, {" 202 \r\n", 202}, {"0", 0},    {"65535", 65535},
      {"65536", -1},    {"-1", -1},         {"", -1},           {"\n", -1},  {"32778x", -1},
      {"0x8000", -1},   {"3 2", -1},        {"123456", -1},     {"+12", -1}, {"999999999999", -1},
  };
  for (const Case& c : cases) {
    const std::optional<int> parsed = ParseCommandText(c.text);
    if (c.expected < 0) {
      EXPECT_FALSE(parsed.has_value()) << c.text;
    } else {
      ASSERT_TRUE(parsed.has_value()) << c.text;
      EXPECT_EQ(*parsed, c.expected) << c.text;
    }
  }
}

TEST(CommandChannelTest, SocketIsNamedAfterTheWindowTitle) {
  EXPECT_EQ(CommandSocketPath("/run/user/7"), "/run/user/7/Kivo Disk Management Utility.command");
}

TEST(CommandChannelTest, DeliversCommandsInOrder) {
  test::TempDir dir;
  const std::string path = CommandSocketPath(dir.Path());
  CommandReceiver receiver;
  ASSERT_TRUE(receiver.Bind(path));
  EXPECT_EQ(receiver.ReceiveOne(), std::nullopt);  // nothing waits: no blocking
  EXPECT_EQ(SendCommand(path, 32778), 0);
  EXPECT_EQ(SendCommand(path, 32771), 0);
  EXPECT_EQ(receiver.ReceiveOne(), 32778);
  EXPECT_EQ(receiver.ReceiveOne(), 32771);
  EXPECT_EQ(receiver.ReceiveOne(), std::nullopt);
}

TEST(CommandChannelTest, NoUtilityListening) {
  test::TempDir dir;
  const std::string path = CommandSocketPath(dir.Path());
  EXPECT_EQ(SendCommand(path, 32778), ENOENT);
  {
    CommandReceiver receiver;
    ASSERT_TRUE(receiver.Bind(path));
  }
  // The receiver removed its socket when it closed.
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
  EXPECT_EQ(SendCommand(path, 32778), ENOENT);
}

TEST(CommandChannelTest, StaleSocketFileIsReplaced) {
  test::TempDir dir;
  const std::string path = CommandSocketPath(dir.Path());
  std::ofstream(path) << "left over";
  CommandReceiver receiver;
  ASSERT_TRUE(receiver.Bind(path));
  EXPECT_EQ(SendCommand(path, 201), 0);
  EXPECT_EQ(receiver.ReceiveOne(), 201);
}

TEST(CommandChannelTest, OnlyTheUserReachesTheSocket) {
  test::TempDir dir;
  const std::string path = CommandSocketPath(dir.Path(), ":7");
  EXPECT_EQ(path, dir.Path() + "/Kivo Disk Management Utility (display :7).command");
  const mode_t saved = ::umask(0);
  CommandReceiver receiver;
  const bool bound = receiver.Bind(path);
  ::umask(saved);
  ASSERT_TRUE(bound);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  if (::geteuid() != 0) GTEST_SKIP() << "sending as another user needs root";
  // Even through an opened socket file, another uid's command is dropped.
  ::chmod(dir.Path().c_str(), 0755);
  ::chmod(path.c_str(), 0666);
  const pid_t child = ::fork();
  if (child == 0) _exit(::setuid(54321) == 0 && SendCommand(path, 32771) == 0 ? 0 : 1);
  int status = -1;
  ::waitpid(child, &status, 0);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(receiver.ReceiveOne(), std::nullopt);
  EXPECT_EQ(SendCommand(path, 32780), 0);
  EXPECT_EQ(receiver.ReceiveOne(), 32780);
}

TEST(CommandChannelTest, OverlongPathIsRefusedNotTruncated) {
  const std::string path = "/tmp/" + std::string(200, 'x');
  CommandReceiver receiver;
  EXPECT_FALSE(receiver.Bind(path));
  EXPECT_NE(SendCommand(path, 1), 0);
}

TEST(CommandChannelTest, GarbageDatagramIsDroppedAndTheNextCommandStillArrives) {
  test::TempDir dir;
  const std::string path = CommandSocketPath(dir.Path());
  std::vector<int> dispatched;
  CommandListener listener([&](int command) { dispatched.push_back(command); });
  ASSERT_TRUE(listener.Listen(path));
  ASSERT_TRUE(SendRaw(path, "open the pod bay doors"));
  ASSERT_EQ(SendCommand(path, 32780), 0);
  QElapsedTimer timer;
  timer.start();
  while (dispatched.empty() && timer.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(dispatched, std::vector<int>{32780});
}

TEST(InstanceCheckTest, OneInstancePerLock) {
  test::TempDir dir;
  InstanceCheck first(kMainWindowTitle, dir.Path(), "");
  EXPECT_TRUE(first.IsFirstInstance());
  EXPECT_EQ(first.LockPath(), dir.Path() + "/Kivo Disk Management Utility.lock");
  {
    InstanceCheck second(kMainWindowTitle, dir.Path(), "");
    EXPECT_FALSE(second.IsFirstInstance());
  }
  // Asking again keeps the lock it already holds.
  EXPECT_TRUE(first.IsFirstInstance());
}

TEST(InstanceCheckTest, LockIsReleasedWhenTheInstanceEnds) {
  test::TempDir dir;
  {
    InstanceCheck first(kMainWindowTitle, dir.Path(), "");
    ASSERT_TRUE(first.IsFirstInstance());
  }
  InstanceCheck next(kMainWindowTitle, dir.Path(), "");
  EXPECT_TRUE(next.IsFirstInstance());
}

TEST(InstanceCheckTest, RuntimeDirectoryIsPrivate) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedText = saved != nullptr ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(platform::UserRuntimeDirectory(), "/run/user/4242");
  ::unsetenv("XDG_RUNTIME_DIR");
  const std::string directory = platform::UserRuntimeDirectory();
  struct stat info;
  ASSERT_EQ(::lstat(directory.c_str(), &info), 0) << directory;
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_uid, ::getuid());
  EXPECT_EQ(info.st_mode & (S_IWGRP | S_IWOTH), 0u);
  if (!savedText.empty()) ::setenv("XDG_RUNTIME_DIR", savedText.c_str(), 1);
}

TEST(InstanceCheckTest, UnreachableDisplayLeavesTheLockToDecide) {
  test::TempDir dir;
  EXPECT_FALSE(DisplayHasWindowTitled(":987654", kMainWindowTitle));
  InstanceCheck check(kMainWindowTitle, dir.Path(), ":987654");
  EXPECT_TRUE(check.IsFirstInstance());
}

TEST(CommandChannelTest, AnActivationTokenTravelsWithTheCommand) {
  struct Case {
    const char* text;
    int command;        // -1: refused
    const char* token;  // of an accepted one
  } const cases[] = {
      {"32800\n", 32800, ""},
      {"32800\nXDG_ACTIVATION_TOKEN=gnome-shell/kivo/1234-5-host_TIME0\n", 32800,
       "gnome-shell/kivo/1234-5-host_TIME0"},
      {"32800\nXDG_ACTIVATION_TOKEN=3fa1c0de-77aa-4bb1-9c1e-1d2e3f405060", 32800,
       "3fa1c0de-77aa-4bb1-9c1e-1d2e3f405060"},
      {"32800\nXDG_ACTIVATION_TOKEN=\n", -1, ""},
      {"32800\nXDG_ACTIVATION_TOKEN=two words\n", -1, ""},
      {"32800\nDESKTOP_STARTUP_ID=x\n", -1, ""},
      {"32800\nXDG_ACTIVATION_TOKEN=a\nXDG_ACTIVATION_TOKEN=b\n", -1, ""},
      {"x\nXDG_ACTIVATION_TOKEN=a\n", -1, ""},
  };
  for (const Case& c : cases) {
    const std::optional<CommandMessage> message = ParseCommandMessage(c.text);
    if (c.command < 0) {
      EXPECT_FALSE(message.has_value()) << c.text;
      continue;
    }
    ASSERT_TRUE(message.has_value()) << c.text;
    EXPECT_EQ(message->command, c.command);
    EXPECT_EQ(message->activationToken, c.token);
  }
  EXPECT_FALSE(ParseCommandMessage("1\nXDG_ACTIVATION_TOKEN=" + std::string(256, 't')).has_value());
  EXPECT_TRUE(ParseCommandMessage("1\nXDG_ACTIVATION_TOKEN=" + std::string(255, 't')).has_value());

  test::TempDir dir;
  const std::string path = CommandSocketPath(dir.Path());
  CommandReceiver receiver;
  ASSERT_TRUE(receiver.Bind(path));
  const std::string token(255, 'k');
  ASSERT_EQ(SendCommand(path, kShowMainWindowCommand, token), 0);
  const std::optional<CommandMessage> received = receiver.ReceiveMessage();
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(received->command, kShowMainWindowCommand);
  EXPECT_EQ(received->activationToken, token);
  EXPECT_EQ(SendCommand(path, kShowMainWindowCommand, "new\nline"), EINVAL);
}

TEST(InstanceCheckTest, OnWaylandTheLockIsTheWaylandDisplaysAndAnInstanceOfEitherKindCounts) {
  struct Case {
    const char* waylandDisplay;
    const char* file;
  } const cases[] = {
      {"wayland-1", "Kivo Disk Management Utility (wayland wayland-1).lock"},
      {"/run/user/1000/wayland-9", "Kivo Disk Management Utility (wayland _run_user_1000_wayland-9).lock"},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    // The display is never searched: one that does not exist changes nothing.
    InstanceCheck first(kMainWindowTitle, dir.Path(), ":987654", c.waylandDisplay, true);
    ASSERT_TRUE(first.IsFirstInstance());
    EXPECT_EQ(first.LockPath(), dir.Path() + "/" + c.file);
    EXPECT_EQ(CommandSocketPath(dir.Path(), first.Session()),
              dir.Path() + "/" + std::string(c.file).replace(std::string(c.file).size() - 5, 5, ".command"));
    InstanceCheck second(kMainWindowTitle, dir.Path(), "", c.waylandDisplay, true);
    EXPECT_FALSE(second.IsFirstInstance());
    // An instance drawing through the compositor's X server in the same
    // session sees the Wayland one without a window to find.
    InstanceCheck x11(kMainWindowTitle, dir.Path(), ":987654", c.waylandDisplay, false);
    EXPECT_FALSE(x11.IsFirstInstance());
    InstanceCheck otherSession(kMainWindowTitle, dir.Path(), "", "wayland-77", true);
    EXPECT_TRUE(otherSession.IsFirstInstance());
  }
  // And the Wayland instance sees one that holds its X display's lock.
  test::TempDir dir;
  platform::InstanceLock held;
  std::string error;
  ASSERT_EQ(held.Take(dir.Path() + "/Kivo Disk Management Utility (display :5).lock", &error),
            platform::InstanceLock::Result::kTaken);
  InstanceCheck wayland(kMainWindowTitle, dir.Path(), ":5", "wayland-0", true);
  EXPECT_FALSE(wayland.IsFirstInstance());
}

// kivo-command as a user runs it, in a session of either kind.
class KivoCommandTest : public ::testing::Test {
 protected:
  static std::string Program() {
    const char* binary = std::getenv("KIVO_BINARY_DIR");
    return std::string(binary != nullptr ? binary : ".") + "/src/app/kivo-command";
  }
  // Runs it with exactly this environment; its exit status.
  int Run(const std::vector<std::string>& environment, const std::string& arguments) {
    std::string command = "env -i";
    for (const std::string& variable : environment) command += " '" + variable + "'";
    command += " '" + Program() + "' --runtime-dir '" + dir_.Path() + "' " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  test::TempDir dir_;
};

TEST_F(KivoCommandTest, FindsTheUtilityOfAWaylandSessionWithoutDisplayAndHandsOverItsToken) {
  if (::access(Program().c_str(), X_OK) != 0) GTEST_SKIP() << "kivo-command is not built";
  CommandReceiver receiver;
  ASSERT_TRUE(receiver.Bind(CommandSocketPath(dir_.Path(), SessionKey::Wayland("wayland-3"))));
  EXPECT_EQ(Run({"WAYLAND_DISPLAY=wayland-3", "XDG_ACTIVATION_TOKEN=sway-token-1"}, "32800"), 0);
  std::optional<CommandMessage> message = receiver.ReceiveMessage();
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->command, 32800);
  EXPECT_EQ(message->activationToken, "sway-token-1");
  // DISPLAY beside it (the compositor's X server) does not lead it astray.
  EXPECT_EQ(Run({"WAYLAND_DISPLAY=wayland-3", "DISPLAY=:987654"}, "32778"), 0);
  message = receiver.ReceiveMessage();
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->command, 32778);
  EXPECT_EQ(message->activationToken, "");
  // An instance of another Wayland display is not this session's.
  EXPECT_EQ(Run({"WAYLAND_DISPLAY=wayland-4"}, "32778"), 1);
}

TEST_F(KivoCommandTest, FindsTheUtilityOfAnX11Display) {
  if (::access(Program().c_str(), X_OK) != 0) GTEST_SKIP() << "kivo-command is not built";
  CommandReceiver receiver;
  ASSERT_TRUE(receiver.Bind(CommandSocketPath(dir_.Path(), ":7")));
  EXPECT_EQ(Run({"DISPLAY=:7.0", "WAYLAND_DISPLAY=wayland-3"}, "32780"), 0);
  EXPECT_EQ(receiver.ReceiveOne(), 32780);
}

}  // namespace
}  // namespace kivo
