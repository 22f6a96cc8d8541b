// The web interface's alarms page as text: every controller's queued
// notifications and the units that are not healthy, and the HTTP/1.0
// response to one request for it. Pure, for the emulators' page servers and
// for tests.
#pragma once

#include <string>

#include "emulator/World.h"

namespace kivo::emulator {

// The page; the caller holds world.mutex.
std::string RenderAlarmsPage(const World& world);

// The whole HTTP/1.0 response to one request head ("GET /alarms.html
// HTTP/1.1\r\n..."): the page for "/" and "/alarms.html", 404 for other
// paths, 405 for methods other than GET and HEAD, 400 for a malformed head.
// Takes world.mutex while it renders.
std::string AnswerHttpRequest(const std::string& head, World& world);

}  // namespace kivo::emulator
