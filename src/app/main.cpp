// kivo: the Kivo Disk Management Utility. The whole life of the program is
// spent in MonitorApp::InitInstance.
#include <QApplication>
#include <cstdlib>

#include "app/MonitorApp.h"
#include "app/StartupOptions.h"

int main(int argc, char** argv) {
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
  QApplication application(argc, argv);
  // The main window is mostly hidden; closing a box must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  kivo::MonitorApp app;
  return app.InitInstance(argumentText);
}
