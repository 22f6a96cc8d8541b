// The alarms page and its small HTTP server (one request per connection,
// bounded head size and wait, loopback only).
#include "emulator/posix/AlarmsPage.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "controller/StatusText.h"
#include "monitor/EventCatalogue.h"

namespace kivo::emulator {

namespace {

constexpr std::size_t kMaxHeadBytes = 8192;
constexpr int kClientWaitMs = 2000;

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
    page = RenderAlarmsPage(world);
  }
  return Response("200 OK", "text/html; charset=iso-8859-1", page, withBody);
}

bool AlarmsPage::Start(std::uint16_t port, std::string* error) {
  Stop();
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error) *error = std::string("alarms page: socket: ") + std::strerror(errno);
    return false;
  }
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
    if (error)
      *error = "alarms page: cannot listen on 127.0.0.1:" + Number(port) + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    if (error) *error = std::string("alarms page: pipe: ") + std::strerror(errno);
    ::close(fd);
    return false;
  }
  listener_ = fd;
  wakeRead_ = pipeFds[0];
  wakeWrite_ = pipeFds[1];
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void AlarmsPage::Stop() {
  if (thread_.joinable()) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &byte, 1);
    thread_.join();
  }
  for (int* fd : {&listener_, &wakeRead_, &wakeWrite_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void AlarmsPage::Serve() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    AnswerOne(client);
    ::close(client);
  }
}

void AlarmsPage::AnswerOne(int client) {
  // Reads the request head with a bound on its size and on the wait, so a
  // silent or endless client cannot hold the page.
  std::string head;
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHeadBytes) {
    pollfd fd = {client, POLLIN, 0};
    if (::poll(&fd, 1, kClientWaitMs) <= 0) break;
    const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  const std::string response = AnswerHttpRequest(head, world_);
  std::size_t sent = 0;
  while (sent < response.size()) {
    const ssize_t n = ::send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace kivo::emulator
