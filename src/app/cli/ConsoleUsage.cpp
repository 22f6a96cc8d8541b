// What both systems' usage texts share (ConsoleUsage.h).
#include "app/cli/ConsoleUsage.h"

namespace kivo::cli {

std::string ReportUsageWith(const std::string& program, const std::string& metrics, const std::string& last) {
  return "usage: " + program +
         " [--prometheus FILE | --json | --check]\n"
         "Prints the disk information report of every Zelka controller.\n"
         "Exit status: 0 all well, 1 the report is incomplete (a controller or unit could not be\n"
         "read, or none was found) or could not be written whole, 2 a unit or drive needs attention.\n" +
         metrics +
         "--json prints the state as one JSON document instead (exit status as above).\n"
         "--check prints a monitoring-plugin status line instead (exit status 0 OK, 1 WARNING,\n"
         "2 CRITICAL, 3 UNKNOWN; 1 too when the line could not be written).\n" +
         last;
}

}  // namespace kivo::cli
