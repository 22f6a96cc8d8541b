// The console programs' usage on Windows: Ctrl+C ends them, kivo-watch.exe is
// also the service KivoWatch, and "/?" asks for this text as every Windows
// console program lets it.
#include "app/cli/ConsoleUsage.h"

namespace kivo::cli {

bool AsksForUsage(const std::string& argument) {
  return argument == "--help" || argument == "-h" || argument == "/?";
}

std::string ReportUsage(const std::string& program) {
  return "usage: " + program +
         " [--prometheus FILE | --json | --check]\n"
         "Prints the disk information report of every Zelka controller.\n"
         "Exit status: 0 all well, 1 the report is incomplete (a controller could not be read, or\n"
         "none was found), 2 a unit or drive needs attention.\n"
         "--prometheus FILE writes the state as Prometheus metrics to FILE instead, for example\n"
         "into windows_exporter's textfile folder (exit status 1: not written).\n"
         "--json prints the state as one JSON document instead (exit status as above).\n"
         "--check prints a monitoring-plugin status line instead (exit status 0 OK, 1 WARNING,\n"
         "2 CRITICAL, 3 UNKNOWN).\n"
         "/? prints this text.\n";
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
         "be reached), and stops on the service's stop.\n"
         "/? prints this text.\n";
}

}  // namespace kivo::cli
