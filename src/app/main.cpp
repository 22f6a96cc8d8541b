// kivo: the Kivo Disk Management Utility. The whole life of the program is
// spent in MonitorApp::InitInstance.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/MonitorApp.h"
#include "report/ProgramVersion.h"
#include "shell/StartupOptions.h"

namespace {

constexpr char kUsage[] =
    "usage: kivo [-max] [-q] [-servershutdown]\n"
    "The Kivo Disk Management Utility: watches the Zelka RAID controllers and\n"
    "alarms on their events, from an icon in the notification area.\n"
    "  -max             show the main window (a running utility is asked to show its own)\n"
    "  -q               no beep in this run\n"
    "  -servershutdown  ask the Kivo service to shut down, then end\n"
    "The switches are found anywhere in the command line, also inside other words.\n"
    "Environment: KIVO_DEVICE_DIR, KIVO_RPC_DIR, KIVO_REGISTRY_DIR, KIVO_EDITOR,\n"
    "KIVO_HELP_DIR, KIVO_TIME_SCALE, KIVO_OS_VERSION, KIVO_SOUND_DEVICE, XDG_RUNTIME_DIR.\n"
    "See man kivo.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("kivo %s\n", kivo::ProgramVersionText());
      return 0;
    }
  }
  // The switches are read from the command line as given, before the
  // toolkit takes its own options out of it.
  const std::string argumentText = kivo::JoinArguments(argc, argv);
  // "-servershutdown" shows nothing, so it must work from any shell: without
  // a display (a remote session, a removal script), or with one that cannot
  // be reached or refuses us, where the toolkit would abort before the
  // service is asked. The display is still searched for a running instance
  // when it can be.
  if (kivo::StartupOptions::Parse(argumentText).serverShutdown) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  // The toolkit takes the launcher's startup id out of the environment; a
  // second start that maps no window ends the launcher's notification with it.
  const char* startupId = std::getenv("DESKTOP_STARTUP_ID");
  const std::string launcherStartupId = startupId != nullptr ? startupId : "";
  QApplication application(argc, argv);
  // The desktop entry the windows (Wayland's app id) and notifications
  // belong to.
  QGuiApplication::setDesktopFileName(QStringLiteral("kivo"));
  // The main window is mostly hidden; closing a box must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  kivo::MonitorApp app;
  app.SetStartupId(launcherStartupId);
  return app.InitInstance(argumentText);
}
