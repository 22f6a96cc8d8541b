// The emulator's alarms page: what it lists, the HTTP answers to good and bad
// requests, and a real request over loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "emulator/AlarmsPage.h"
#include "emulator/World.h"
#include "emulator/WorldEvents.h"

namespace kivo::emulator {
namespace {

TEST(AlarmsPageTest, ListsQueuedEventsAndUnhealthyUnits) {
  World world;
  BuildDefaultWorld(world);
  std::string page = RenderAlarmsPage(world);
  EXPECT_NE(page.find("Controller SCSI ID:0"), std::string::npos);
  EXPECT_NE(page.find("Controller SCSI ID:1"), std::string::npos);
  EXPECT_EQ(page.find("degraded"), std::string::npos);
  EXPECT_NE(page.find("All units are healthy."), std::string::npos);

  std::string message;
  ASSERT_TRUE(FailDrive(world, 0, 1, &message)) << message;
  ASSERT_TRUE(QueueNotification(world, 1, 9, 1, &message));
  page = RenderAlarmsPage(world);
  EXPECT_NE(page.find("Disk Array Unit 0 on controller ID:0 is degraded"), std::string::npos);
  EXPECT_NE(page.find("Drive timeout encountered on unit 1 on controller ID:1."), std::string::npos);
  EXPECT_NE(page.find("<td>0xE3</td><td>Degraded</td>"), std::string::npos);
  EXPECT_NE(page.find("Queued notifications in all: 2."), std::string::npos);
  // The page only reads: the utility still finds both events.
  EXPECT_EQ(NextNotification(world, 1), 0x0109);
}

TEST(AlarmsPageTest, EscapesTextsFromTheWorld) {
  World world;
  BuildDefaultWorld(world);
  world.controllers[0].versions.model = "<script>&";
  const std::string page = RenderAlarmsPage(world);
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;&amp;"), std::string::npos);
}

TEST(AlarmsPageTest, HttpAnswers) {
  World world;
  BuildDefaultWorld(world);
  struct Case {
    const char* head;
    const char* statusLine;
    bool hasPage;
  } const cases[] = {
      {"GET /alarms.html HTTP/1.1\r\nHost: localhost\r\n\r\n", "HTTP/1.0 200 OK\r\n", true},
      {"GET /alarms.html?x=1 HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK\r\n", true},
      {"GET / HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK\r\n", true},
      {"HEAD /alarms.html HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK\r\n", false},
      {"GET /../etc/passwd HTTP/1.0\r\n\r\n", "HTTP/1.0 404 Not Found\r\n", false},
      {"POST /alarms.html HTTP/1.0\r\n\r\n", "HTTP/1.0 405 Method Not Allowed\r\n", false},
      {"", "HTTP/1.0 400 Bad Request\r\n", false},
      {"GARBAGE\r\n\r\n", "HTTP/1.0 400 Bad Request\r\n", false},
      {"GET /alarms.html\r\n\r\n", "HTTP/1.0 400 Bad Request\r\n", false},
  };
  for (const Case& c : cases) {
    const std::string response = AnswerHttpRequest(c.head, world);
    EXPECT_EQ(response.rfind(c.statusLine, 0), 0u) << c.head << "\n" << response;
    EXPECT_EQ(response.find("<h1>Zelka controller alarms</h1>") != std::string::npos, c.hasPage) << c.head;
  }
}

std::string Fetch(std::uint16_t port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return reply;
}

TEST(AlarmsPageTest, ServesOverLoopbackAndStops) {
  World world;
  BuildDefaultWorld(world);
  AlarmsPage page(world);
  std::string error;
  ASSERT_TRUE(page.Start(0, &error)) << error;
  ASSERT_NE(page.Port(), 0);
  const std::string reply = Fetch(page.Port(), "GET /alarms.html HTTP/1.0\r\n\r\n");
  EXPECT_EQ(reply.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
  EXPECT_NE(reply.find("</html>"), std::string::npos);
  // A second server cannot take the same port.
  AlarmsPage other(world);
  EXPECT_FALSE(other.Start(page.Port(), &error));
  EXPECT_NE(error.find("cannot listen"), std::string::npos);
  const std::uint16_t port = page.Port();
  page.Stop();
  EXPECT_EQ(Fetch(port, "GET / HTTP/1.0\r\n\r\n"), "");
}

}  // namespace
}  // namespace kivo::emulator

namespace kivo::emulator {
namespace {

TEST(AlarmsPageProgramTest, BadPortIsAUsageError) {
  const char* binary = std::getenv("KIVO_BINARY_DIR");
  ASSERT_NE(binary, nullptr);
  char pattern[] = "/tmp/kivo-alarms.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  for (const char* port : {"abc", "70000", "-1", "80x"}) {
    const std::string command = "KIVO_DEVICE_DIR=" + dir + "/dev KIVO_RPC_DIR=" + dir +
                                "/rpc KIVO_REGISTRY_DIR=" + dir + "/reg " + binary +
                                "/emulator/zelka-emulator --http-port " + port + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << port;
  }
  std::error_code error;
  std::filesystem::remove_all(dir, error);
}

}  // namespace
}  // namespace kivo::emulator
