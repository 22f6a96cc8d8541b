// kivo: the Kivo Disk Management Utility. The whole life of the program is
// spent in MonitorApp::InitInstance.
#include <QApplication>

#include "app/MonitorApp.h"
#include "app/StartupOptions.h"

int main(int argc, char** argv) {
  // The switches are read from the command line as given, before the
  // toolkit takes its own options out of it.
  const std::string argumentText = kivo::JoinArguments(argc, argv);
  QApplication application(argc, argv);
  // The main window is mostly hidden; closing a box must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  kivo::MonitorApp app;
  return app.InitInstance(argumentText);
}
