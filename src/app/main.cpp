// kivo: the Kivo Disk Management Utility. The whole life of the program is
// spent in MonitorApp::InitInstance.
#include <QApplication>
#include <cstdlib>

#include "app/MonitorApp.h"
#include "app/StartupOptions.h"

namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // The switches are read from the command line as given, before the
  // toolkit takes its own options out of it.
  const std::string argumentText = kivo::JoinArguments(argc, argv);
  // "-servershutdown" shows nothing, so it must also work from a shell that
  // has no display (a remote session, a removal script): the toolkit would
  // otherwise abort before the service is asked. The instance lock still
  // decides whether another instance runs.
  if (kivo::StartupOptions::Parse(argumentText).serverShutdown && !HasDisplay() &&
      std::getenv("QT_QPA_PLATFORM") == nullptr) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  QApplication application(argc, argv);
  // The main window is mostly hidden; closing a box must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  kivo::MonitorApp app;
  return app.InitInstance(argumentText);
}
