// The console programs' usage on Linux: the signals that end them and the
// environment that points them at the devices, the service and the settings.
#include "app/cli/ConsoleUsage.h"

namespace kivo::cli {

bool AsksForUsage(const std::string& argument) {
  return argument == "--help" || argument == "-h";
}

std::string ReportUsage(const std::string& program) {
  return ReportUsageWith(program,
                         "--prometheus FILE writes the state as Prometheus metrics to FILE instead (exit "
                         "status 1: not written).\n",
                         "");
}

std::string WatchUsage() {
  return "usage: kivo-watch\n"
         "Scans the Zelka controllers, then prints every event notification the Kivo\n"
         "service hands out, and the first error of each period in which the service\n"
         "cannot be reached, one message line each, until SIGTERM or SIGINT.\n"
         "Environment: KIVO_DEVICE_DIR, KIVO_RPC_DIR, KIVO_REGISTRY_DIR, KIVO_TIME_SCALE.\n"
         "Under systemd (kivo-watch.service) each line carries its syslog priority.\n";
}

}  // namespace kivo::cli
