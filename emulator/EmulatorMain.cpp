// The platform-free steps of zelka-emulator's main; the options, the servers'
// endpoints and the wait for the stop request are the platform's own.
#include "emulator/EmulatorMain.h"

#include <cstdio>
#include <cstdlib>

#include "mail/SettingsStore.h"

namespace kivo::emulator {

long AlarmsPagePort(const std::string& option,
                    const std::function<std::unique_ptr<platform::Registry>()>& openSettings) {
  long port = -1;
  if (option.empty()) {
    port = static_cast<long>(ReadHttpPort(*openSettings()));
  } else {
    char* end = nullptr;
    port = std::strtol(option.c_str(), &end, 10);
    if (end == nullptr || *end != '\0') port = -1;
  }
  return port < 0 || port > 65535 ? -1 : port;
}

void StartAlarmsPage(AlarmsPage& page, std::uint16_t port) {
  if (std::string error; page.Start(port, &error)) {
    std::fprintf(stderr, "zelka-emulator: alarms page at http://127.0.0.1:%u/alarms.html\n",
                 static_cast<unsigned>(page.Port()));
  } else {
    std::fprintf(stderr, "zelka-emulator: %s (continuing without the alarms page)\n", error.c_str());
  }
}

void ReportReady() {
  std::fprintf(stderr, "zelka-emulator: ready\n");
  std::fflush(stderr);
}

}  // namespace kivo::emulator
