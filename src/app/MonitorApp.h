// MonitorApp: the application object. InitInstance runs start-up with the
// real steps (window search and instance lock, socket check, the service's
// shutdown, the stored audio setting, the modal main window with the command
// channel, clipboard, e-mail setup and help filled in). Used by main() only.
#pragma once

#include <string>
#include <utility>

namespace kivo {

class MonitorApp {
 public:
  MonitorApp();
  ~MonitorApp();
  MonitorApp(const MonitorApp&) = delete;
  MonitorApp& operator=(const MonitorApp&) = delete;

  // Runs the program's whole life; returns the process exit code. The
  // QApplication must exist. argumentText: the arguments after the program's
  // path, joined with blanks, as the command line gave them.
  int InitInstance(const std::string& argumentText);
  // The launcher's startup notification id this process was started with
  // (DESKTOP_STARTUP_ID), read before the toolkit took it.
  void SetStartupId(std::string startupId) { startupId_ = std::move(startupId); }

 private:
  std::string startupId_;
};

}  // namespace kivo
