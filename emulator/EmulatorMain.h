// EmulatorMain: the steps of zelka-emulator's main that are the same on both
// platforms: the alarms page's port and start, and the "ready" line that
// scripts wait for.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "emulator/AlarmsPage.h"
#include "platform/Registry.h"

namespace kivo::emulator {

// The alarms page's port: --http-port's text when given, else the "HTTP"
// "Port" setting (the registry is opened only then); -1 when either is not a
// port 0..65535.
long AlarmsPagePort(const std::string& option,
                    const std::function<std::unique_ptr<platform::Registry>()>& openSettings);

// Starts the page on `port` and says where it serves. Without the page the
// devices and the service still serve: a busy port is reported and the
// emulator goes on.
void StartAlarmsPage(AlarmsPage& page, std::uint16_t port);

// Tells the caller on standard error that every server is up.
void ReportReady();

}  // namespace kivo::emulator
