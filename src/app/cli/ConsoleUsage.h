// ConsoleUsage: the console programs' usage texts in the words of the system
// they run on: signals and environment variables on Linux, Ctrl+C, the
// service and "/?" on Windows. One implementation per system (posix/,
// win32/), chosen by the build; kivo-report's and kivo-watch's mains use it.
#pragma once

#include <string>

namespace kivo::cli {

// True for an argument that asks for the usage: "--help" and "-h", on
// Windows "/?" too.
bool AsksForUsage(const std::string& argument);

// kivo-report's usage; `program` is the name it was started by.
std::string ReportUsage(const std::string& program);

// kivo-watch's usage.
std::string WatchUsage();

// kivo-report's usage in the system's words for --prometheus (`metrics`) and
// what follows the options (`last`); both implementations build theirs here.
std::string ReportUsageWith(const std::string& program, const std::string& metrics, const std::string& last);

}  // namespace kivo::cli
