// The console programs' usage on Windows: Ctrl+C ends them, kivo-watch.exe is
// also the service KivoWatch, and "/?" asks for this text as every Windows
// console program lets it.
#include "app/cli/ConsoleUsage.h"

namespace kivo::cli {

bool AsksForUsage(const std::string& argument) {
  return argument == "--help" || argument == "-h" || argument == "/?";
}

std::string ReportUsage(const std::string& program) {
  return ReportUsageWith(
      program,
      "--prometheus FILE writes the state as Prometheus metrics to FILE instead, for example\n"
      "into windows_exporter's textfile folder (exit status 1: not written).\n",
      "/? prints this text.\n");
}

std::string WatchUsage() {
  return "usage: kivo-watch.exe [--install-service | --start-service | --remove-service]\n"
         "Without an option: scans the Zelka controllers, then prints every event\n"
         "notification the Kivo service hands out, and the first error of each period\n"
         "in which the service cannot be reached, one message line each, until Ctrl+C,\n"
         "Ctrl+Break or the console window is closed.\n"
         "--install-service  registers kivo-watch.exe as the service KivoWatch (\"Kivo\n"
         "                   Event Monitor\": automatic start, local system account,\n"
         "                   restarted after a failure) and the event source Kivo of\n"
         "                   the Application log.\n"
         "--start-service    starts the service and waits until it runs, or says why\n"
         "                   it does not (sc start KivoWatch starts it too).\n"
         "--remove-service   stops the service when it runs, then removes it and its\n"
         "                   event source.\n"
         "All three need an administrator's command prompt. Started by the service manager\n"
         "(kivo-watch.exe --service), it writes the same lines to the Application log,\n"
         "source Kivo, the event's code as the entry's id (1000: the Kivo service cannot\n"
         "be reached); its own start, stop and diagnostics (no controller found, and where\n"
         "it looked) are entries of that source too. It stops on the service's stop.\n"
         "/? prints this text.\n";
}

}  // namespace kivo::cli
