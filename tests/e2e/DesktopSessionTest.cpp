// The utility on a desktop session as a user has it: Xvfb with a window
// manager (openbox) and a tray host (trayer), both started here. The alarm
// is seen flashing while its window is active, the tray icon blinks, the
// tray menu opens on the release of the right button, a tray that starts
// late gets the icon, and boxes come out above the alert window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kivo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kMainTitle = "Kivo Disk Management Utility";
constexpr const char* kAlertTitle = "Kivo - Event Notification Message";

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

bool OnPath(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

template <typename Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (predicate()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return predicate();
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

class DesktopSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool :
         {"Xvfb", "openbox", "trayer", "xdotool", "xdpyinfo", "xwininfo", "xprop", "import"}) {
      if (!OnPath(tool)) GTEST_SKIP() << tool << " is needed";
    }
    char pattern[] = "/tmp/kivo-desktop.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    ::chmod(root_.c_str(), 0700);
    fs::create_directories(root_ / "registry");
    fs::create_directories(root_ / "cwd");
    ::setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    ::setenv("KIVO_REGISTRY_DIR", (root_ / "registry").c_str(), 1);
    ::setenv("KIVO_DEVICE_DIR", (root_ / "zelka").c_str(), 1);
    ::setenv("KIVO_RPC_DIR", (root_ / "ncalrpc").c_str(), 1);
    ::setenv("KIVO_TIME_SCALE", "90", 1);
    ::setenv("KIVO_EDITOR", "true", 1);
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    StartDisplay();
    if (HasFatalFailure()) return;
    Spawn({"openbox"}, root_ / "openbox.log");
    ASSERT_TRUE(WaitUntil(
        [] {
          return Capture("xprop -root _NET_SUPPORTING_WM_CHECK 2>&1").find("window id") != std::string::npos;
        },
        30s))
        << "openbox did not start";
    ASSERT_EQ(std::system((Bin("src/app/cli/kivo-install") + " >/dev/null").c_str()), 0);
    Spawn({Bin("emulator/zelka-emulator"), "--http-port", "0"}, root_ / "emulator.log");
    ASSERT_TRUE(
        WaitUntil([&] { return Read(root_ / "emulator.log").find("ready") != std::string::npos; }, 45s));
  }

  void TearDown() override {
    std::system("xdotool keyup Return mouseup 1 mouseup 3 >/dev/null 2>&1");
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
      ::kill(*it, SIGTERM);
      ::waitpid(*it, nullptr, 0);
    }
    std::error_code error;
    if (!root_.empty() && !HasFailure()) fs::remove_all(root_, error);
    if (HasFailure()) std::fprintf(stderr, "kept for inspection: %s\n", root_.c_str());
  }

  static std::string Bin(const std::string& relative) {
    const char* dir = std::getenv("KIVO_BINARY_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/" + relative;
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The first free display from KIVO_TEST_DISPLAYS ("first:last"), by default
  // :110 to :119.
  void StartDisplay() {
    int first = 110;
    int last = 119;
    if (const char* range = std::getenv("KIVO_TEST_DISPLAYS")) std::sscanf(range, "%d:%d", &first, &last);
    for (int number = first; number <= last; ++number) {
      if (fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
      const std::string name = ":" + std::to_string(number);
      const pid_t xvfb = Spawn({"Xvfb", name, "-screen", "0", "1280x900x24", "-nolisten", "tcp", "-noreset"},
                               root_ / "xvfb.log");
      const bool up = WaitUntil(
          [&] {
            return ::waitpid(xvfb, nullptr, WNOHANG) != 0 ||
                   std::system(("xdpyinfo -display " + name + " >/dev/null 2>&1").c_str()) == 0;
          },
          20s);
      if (up && ::waitpid(xvfb, nullptr, WNOHANG) == 0) {
        ::setenv("DISPLAY", name.c_str(), 1);
        return;
      }
      std::erase(pids_, xvfb);
    }
    FAIL() << "no free X display";
  }

  pid_t Spawn(const std::vector<std::string>& argv, const fs::path& log, const fs::path& cwd = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << argv[0];
    if (error == 0) pids_.push_back(pid);
    return pid;
  }

  void StartKivo() {
    Spawn({Bin("src/app/kivo")}, root_ / "kivo.log", root_ / "cwd");
    ASSERT_TRUE(
        WaitUntil([] { return Capture("xwininfo -root -tree 2>/dev/null").find(kMainTitle) != std::string::npos; }, 45s));
  }
  void StartTray() {
    Spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request"}, root_ / "trayer.log");
  }

  // The centre of the utility's icon embedded in the tray, or (-1, -1).
  static std::pair<int, int> TrayIconCentre() {
    std::istringstream tree(Capture("xwininfo -root -tree 2>/dev/null"));
    for (std::string line; std::getline(tree, line);) {
      if (line.find("\"kivo\": (\"kivo\" \"kivo\")") == std::string::npos) continue;
      int width = 0, height = 0, x = 0, y = 0, absX = 0, absY = 0;
      const auto at = line.find(")  ");
      if (std::sscanf(line.c_str() + at + 3, "%dx%d+%d+%d +%d+%d", &width, &height, &x, &y, &absX, &absY) ==
              6 &&
          width < 64 && height < 64) {
        return {absX + width / 2, absY + height / 2};
      }
    }
    return {-1, -1};
  }
  static std::string Visible(const std::string& title) {
    return FirstLine(Capture("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null"));
  }
  static std::set<std::string> VisibleKivoWindows() {
    std::istringstream ids(Capture("xdotool search --onlyvisible --classname kivo 2>/dev/null"));
    std::set<std::string> result;
    for (std::string id; std::getline(ids, id);) result.insert(id);
    return result;
  }
  // A digest of what the window shows now.
  static std::string Shot(const std::string& window) {
    return Capture("import -silent -window " + window + " rgb:- 2>/dev/null | md5sum");
  }
  // True when the window's picture changes within the limit.
  static bool Changes(const std::string& window, std::chrono::milliseconds limit) {
    const std::string first = Shot(window);
    return WaitUntil([&] { return Shot(window) != first; }, limit);
  }
  static std::string PanelWindow() {
    return FirstLine(Capture("xdotool search --classname panel 2>/dev/null"));
  }
  void Alarm() {
    ASSERT_EQ(std::system((Bin("emulator/zelka-emulator") + " ctl aen 0 9 1 >/dev/null 2>&1").c_str()), 0);
    ASSERT_TRUE(WaitUntil([] { return !Visible(kAlertTitle).empty(); }, 30s)) << Read(root_ / "kivo.log");
  }
  static void Acknowledge() {
    std::system(("xdotool windowactivate --sync " + Visible(kAlertTitle) + " key Return").c_str());
    ASSERT_TRUE(WaitUntil([] { return Visible(kAlertTitle).empty(); }, 10s));
  }

  fs::path root_;
  std::vector<pid_t> pids_;
};

TEST_F(DesktopSessionTest, ActiveAlarmWindowFlashesAndTheTrayIconBlinksUntilOk) {
  StartTray();
  StartKivo();
  ASSERT_TRUE(WaitUntil([] { return TrayIconCentre().first >= 0; }, 30s));
  Alarm();
  const std::string alert = Visible(kAlertTitle);
  EXPECT_EQ(FirstLine(Capture("xdotool getactivewindow")), alert) << "the alert window activates itself";
  // The window manager ignores the attention hint of the active window: the
  // window itself shows the flash, every 500 ms.
  EXPECT_TRUE(Changes(alert, 2s)) << "nothing changes in the active alert window";
  EXPECT_TRUE(Changes(PanelWindow(), 2s)) << "the tray icon does not blink";
  Acknowledge();
  EXPECT_FALSE(Changes(PanelWindow(), 1500ms)) << "the tray icon blinks on after OK";
}

TEST_F(DesktopSessionTest, TrayMenuOpensOnReleaseAndDoubleClickOpensTheAlertWindow) {
  StartTray();
  StartKivo();
  std::pair<int, int> icon;
  ASSERT_TRUE(WaitUntil([&] { return (icon = TrayIconCentre()).first >= 0; }, 30s));
  const std::string at = std::to_string(icon.first) + " " + std::to_string(icon.second);
  const std::set<std::string> before = VisibleKivoWindows();
  std::system(("xdotool mousemove " + at + " mousedown 3").c_str());
  EXPECT_FALSE(WaitUntil([&] { return VisibleKivoWindows() != before; }, 1s)) << "a menu opened on the press";
  std::system("xdotool mouseup 3");
  ASSERT_TRUE(WaitUntil([&] { return VisibleKivoWindows().size() > before.size(); }, 10s)) << "no menu";
  std::system("xdotool key v");  // "&View Alarms"
  ASSERT_TRUE(WaitUntil([] { return !Visible(kAlertTitle).empty(); }, 10s));
  Acknowledge();
  std::system(("xdotool mousemove " + at + " click --repeat 2 --delay 80 1").c_str());
  EXPECT_TRUE(WaitUntil([] { return !Visible(kAlertTitle).empty(); }, 10s)) << "double click";
}

TEST_F(DesktopSessionTest, ATrayThatStartsLaterGetsTheIcon) {
  StartKivo();
  StartTray();  // a panel that starts late at login
  EXPECT_TRUE(WaitUntil([] { return TrayIconCentre().first >= 0; }, 30s)) << Capture("xwininfo -root -tree 2>/dev/null");
}

// Whether a window is stacked above another (_NET_CLIENT_LIST_STACKING
// lists the managed windows bottom to top).
bool StackedAbove(const std::string& upper, const std::string& lower) {
  const std::string stacking = Capture("xprop -root _NET_CLIENT_LIST_STACKING");
  auto position = [&](const std::string& id) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lx", std::stoul(id));
    return stacking.find(hex);
  };
  return position(upper) != std::string::npos && position(lower) != std::string::npos &&
         position(upper) > position(lower);
}

TEST_F(DesktopSessionTest, BoxesOpenedWhileTheAlarmShowsComeOutAboveIt) {
  StartKivo();
  Alarm();
  const std::string alert = Visible(kAlertTitle);
  ASSERT_EQ(std::system((Bin("src/app/kivo-command") + " 32778").c_str()), 0);  // e-mail setup
  ASSERT_TRUE(WaitUntil([] { return !Visible("Email Setup").empty(); }, 30s));
  const std::string setup = Visible("Email Setup");
  EXPECT_TRUE(WaitUntil([&] { return StackedAbove(setup, alert); }, 5s))
      << "the dialog is beneath the alert window";
  EXPECT_EQ(FirstLine(Capture("xdotool getactivewindow")), setup) << "the dialog has the keyboard";
  std::system(
      ("xdotool windowactivate --sync " + setup +
       " type --delay 2 'mail.kivo-test.invalid'; xdotool key Tab; xdotool type --delay 2 'ops@example.org';"
       " xdotool key Return")
          .c_str());
  // "Send a test message?" over the hidden main window.
  const std::string caption = "Kivo Disk Managenemt Utility";
  ASSERT_TRUE(WaitUntil([&] { return !Visible(caption).empty(); }, 30s));
  const std::string box = Visible(caption);
  EXPECT_TRUE(WaitUntil([&] { return StackedAbove(box, alert); }, 5s))
      << "the box is beneath the alert window";
  EXPECT_EQ(FirstLine(Capture("xdotool getactivewindow")), box) << "the box has the keyboard";
  std::system(("xdotool windowactivate --sync " + box + " key alt+n").c_str());
}

}  // namespace
}  // namespace kivo::test
