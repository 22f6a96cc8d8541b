// The alarms page and the HTTP answer to one request, without the server:
// shared by the Linux and Windows emulators.
#include "emulator/AlarmsText.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "controller/StatusText.h"
#include "emulator/WorldEvents.h"
#include "monitor/EventCatalogue.h"

namespace kivo::emulator {

namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Number(long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", value);
  return text;
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string Response(const char* status, const std::string& type, const std::string& body, bool withBody) {
  std::string out = std::string("HTTP/1.0 ") + status + "\r\n";
  out += "Content-Type: " + type + "\r\n";
  out += "Content-Length: " + Number(static_cast<long long>(body.size())) + "\r\n";
  out += "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
  if (withBody) out += body;
  return out;
}

}  // namespace

std::string RenderAlarmsPage(const World& world) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"iso-8859-1\">"
      "<meta http-equiv=\"refresh\" content=\"10\"><title>Zelka alarms</title></head>\n<body>\n"
      "<h1>Zelka controller alarms</h1>\n";
  int queuedTotal = 0;
  for (const Controller& controller : world.controllers) {
    page += "<h2>Controller SCSI ID:" + Number(controller.scsiId) + " " + Escape(controller.versions.model) +
            "</h2>\n";
    page += "<h3>Queued notifications</h3>\n";
    if (controller.notifications.empty() && !controller.notificationsOverflowed) {
      page += "<p>None: the utility has fetched every event.</p>\n";
    } else {
      page += "<table border=\"1\"><tr><th>#</th><th>AEN</th><th>Unit/port</th><th>Event</th></tr>\n";
      int index = 1;
      if (controller.notificationsOverflowed) {
        page += "<tr><td>" + Number(index++) + "</td><td>255</td><td>-</td><td>" +
                Escape(EventBody(255, 0, controller.scsiId)) + "</td></tr>\n";
      }
      for (std::uint16_t word : controller.notifications) {
        const unsigned code = word & 0xFFu;
        const unsigned unit = word >> 8;
        page += "<tr><td>" + Number(index++) + "</td><td>" + Number(code) + "</td><td>" + Number(unit) +
                "</td><td>" + Escape(EventBody(code, unit, controller.scsiId)) + "</td></tr>\n";
        ++queuedTotal;
      }
      page += "</table>\n";
    }
    page += "<h3>Units needing attention</h3>\n";
    std::string rows;
    for (const Unit& unit : controller.units) {
      if (unit.status == 0xFF) continue;
      StatusTextBuffer text{};
      UnitStatusText(unit.status, text);
      rows += "<tr><td>" + Number(unit.number) + "</td><td>" + Hex(unit.status) + "</td><td>" +
              Escape(text.data()) + "</td></tr>\n";
    }
    if (rows.empty()) {
      page += "<p>All units are healthy.</p>\n";
    } else {
      page += "<table border=\"1\"><tr><th>Unit</th><th>Status byte</th><th>Status</th></tr>\n" + rows +
              "</table>\n";
    }
  }
  if (world.controllers.empty()) page += "<p>No Zelka controller present.</p>\n";
  page += "<p>Queued notifications in all: " + Number(queuedTotal) +
          ". Device calls answered: " + Number(static_cast<long long>(world.deviceCalls)) +
          ".</p>\n</body></html>\n";
  return page;
}

std::string AnswerHttpRequest(const std::string& head, World& world) {
  const std::size_t lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const std::size_t firstBlank = line.find(' ');
  const std::size_t secondBlank =
      firstBlank == std::string::npos ? std::string::npos : line.find(' ', firstBlank + 1);
  if (lineEnd == std::string::npos || firstBlank == std::string::npos || secondBlank == std::string::npos ||
      line.compare(secondBlank + 1, 5, "HTTP/") != 0) {
    return Response("400 Bad Request", "text/plain", "Bad request.\n", true);
  }
  const std::string method = line.substr(0, firstBlank);
  std::string path = line.substr(firstBlank + 1, secondBlank - firstBlank - 1);
  if (const std::size_t query = path.find('?'); query != std::string::npos) path.erase(query);
  const bool withBody = method != "HEAD";
  if (method != "GET" && method != "HEAD") {
    return Response("405 Method Not Allowed", "text/plain", "Only GET and HEAD are served.\n", true);
  }
  if (path != "/" && path != "/alarms.html") {
    return Response("404 Not Found", "text/plain", "Not found. The alarms page is /alarms.html.\n", withBody);
  }
  std::string page;
  {
    std::lock_guard<std::mutex> lock(world.mutex);
    // A series' notifications whose time has come are queued.
    ReleaseDueNotifications(world);
    page = RenderAlarmsPage(world);
  }
  return Response("200 OK", "text/html; charset=iso-8859-1", page, withBody);
}

}  // namespace kivo::emulator
