// The e-mail test through the real sender: a loopback server that refuses the
// sender still gives "Email test successful." (the connection stood) and the
// refusal lands in emaillog.txt; a server that is not there gives "Connection
// failed..." and the connect line; a server slow to accept leaves the event
// loop running and a second test refused meanwhile.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "AppTestSupport.h"
#include "LoopbackMailOwner.h"
#include "app/QtClipboard.h"
#include "report/ReportText.h"
#include "shell/EmailSetup.h"

namespace kivo {
namespace {

std::string ReadLog(const std::string& directory) {
  std::ifstream in(directory + "/emaillog.txt", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Answers the greeting and HELO, then refuses every sender.
class RefusingServer {
 public:
  explicit RefusingServer(std::string greeting = "220 mail.test ready\r\n") : greeting_(std::move(greeting)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 1);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~RefusingServer() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  unsigned Port() const { return port_; }

 private:
  void Serve() {
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    timeval timeout{5, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    Send(client, greeting_);
    std::string pending;
    char buffer[512];
    ssize_t n;
    while ((n = ::recv(client, buffer, sizeof buffer, 0)) > 0) {
      pending.append(buffer, static_cast<std::size_t>(n));
      std::size_t end;
      while ((end = pending.find("\r\n")) != std::string::npos) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 2);
        if (line.rfind("HELO", 0) == 0)
          Send(client, "250 hello\r\n");
        else if (line.rfind("MAIL FROM", 0) == 0)
          Send(client, "550 sender refused\r\n");
        else if (line.rfind("QUIT", 0) == 0)
          Send(client, "221 bye\r\n");
        else
          Send(client, "500 what\r\n");
      }
    }
    ::close(client);
  }
  static void Send(int fd, const std::string& text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

  std::string greeting_;
  int listener_ = -1;
  unsigned port_ = 0;
  std::thread thread_;
};

class OkForm : public EmailSetupForm {
 public:
  int Run(EmailSetupFields& fields) override {
    fields.server = "127.0.0.1";
    fields.recipients = "ops@example.org";
    fields.senderAddress = "kivo@example.org";
    fields.senderName = "Kivo";
    return 1;
  }
};

EmailSetupOutcome RunTest(test::LoopbackMailOwner& mail, test::RecordingBoxes& boxes) {
  OkForm form;
  EmailSetupFields settings;
  EmailSetupServices services;
  services.timeText = [] { return std::string("Sun Sep 09 01:46:40 2001"); };
  services.computerName = [] { return std::string("ARRAYHOST"); };
  services.save = [](const EmailSetupFields&) {};
  services.send = [&](const std::string& message) {
    EmailSettings email;
    email.Host = settings.server;
    email.ToID = settings.recipients;
    email.FromID = settings.senderAddress;
    email.FromName = settings.senderName;
    return mail.SendEmailMessage(email, message);
  };
  boxes.answers = {platform::IDYES, platform::IDOK};
  return OpenEmailSetup(form, settings, boxes, services);
}

TEST(EmailDeliveryTest, RefusedSenderStillReportsSuccessAndLogsTheRefusal) {
  // A greeting of one line, and one of several lines that counts as one.
  for (const char* greeting : {"220 mail.test ready\r\n", "220-mail.test\r\n220-no spam\r\n220 ready\r\n"}) {
    SCOPED_TRACE(greeting);
    test::TempDir dir;
    RefusingServer server(greeting);
    test::RecordingBoxes boxes;
    test::LoopbackMailOwner mail(boxes, dir.Path(), server.Port());
    EXPECT_EQ(RunTest(mail, boxes), EmailSetupOutcome::TestSucceeded);
    ASSERT_GE(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, "Email test successful.");
    // The dialogue goes on after the box, one server reply per notification.
    QElapsedTimer timer;
    timer.start();
    while (ReadLog(dir.Path()).empty() && timer.elapsed() < 10000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_EQ(ReadLog(dir.Path()).find("Email: Invalid Sender ID -  kivo@example.org Error: "), 0u)
        << ReadLog(dir.Path());
  }
}

TEST(EmailDeliveryTest, UnreachableServerReportsConnectionFailed) {
  test::TempDir dir;
  // A loopback port that nobody listens on.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  test::RecordingBoxes boxes;
  test::LoopbackMailOwner mail(boxes, dir.Path(), ntohs(address.sin_port));
  EXPECT_EQ(RunTest(mail, boxes), EmailSetupOutcome::TestFailed);
  ASSERT_GE(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, "Connection failed. Please refer to emaillog.txt for further details.");
  const std::string log = ReadLog(dir.Path());
  EXPECT_EQ(log.find("Email: Attempting to connect failed."), 0u) << log;
  EXPECT_EQ(log.find("Email: Attempting to connect failed.", 1), std::string::npos)
      << "one line only: " << log;
  EXPECT_NE(log.find("Error: 10061"), std::string::npos) << log;
}

TEST(EmailDeliveryTest, ASlowConnectKeepsTheEventLoopRunningAndRefusesASecondTest) {
  // A listener whose queue is full drops the next connection request: the
  // connect waits until the queued one is taken and the client's repeated
  // request (about a second later) is answered.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  test::TempDir dir;
  test::RecordingBoxes boxes;
  test::LoopbackMailOwner mail(boxes, dir.Path(), ntohs(address.sin_port));
  int ticksWhileWaiting = 0;
  EmailSetupOutcome second = EmailSetupOutcome::Cancelled;
  int secondSend = -1;
  QTimer window;  // stands for the alarm's beep and flash timers
  QObject::connect(&window, &QTimer::timeout, [&] {
    if (!mail.Waiting()) return;
    if (++ticksWhileWaiting == 3) {
      // The setup command and the sender asked again while the connect waits.
      test::RecordingBoxes otherBoxes;
      second = RunTest(mail, otherBoxes);
      secondSend = mail.SendEmailMessage(EmailSettings{"127.0.0.1", "a@b.c", "d@e.f", "g", 0}, "x");
      ::close(::accept(listener, nullptr, nullptr));  // room for the waiting connect
    }
  });
  window.start(20);
  EXPECT_EQ(RunTest(mail, boxes), EmailSetupOutcome::TestSucceeded);
  window.stop();
  EXPECT_GE(ticksWhileWaiting, 10) << "the connect waited about a second with the timers running";
  EXPECT_EQ(second, EmailSetupOutcome::AlreadyOpen);
  EXPECT_EQ(secondSend, 0);
  // Exactly one connection came through: the waiting one.
  ::fcntl(listener, F_SETFL, O_NONBLOCK);
  const int accepted = ::accept(listener, nullptr, nullptr);
  EXPECT_GE(accepted, 0);
  EXPECT_LT(::accept(listener, nullptr, nullptr), 0);
  ::close(accepted);
  ::close(filler);
  ::close(listener);
}

TEST(EmailDeliveryTest, CopiedReportEndsWithTheEmailFailureLine) {
  test::TempDir dir;
  ReportText().Assign("Zelka Disk information gathered at Sun Sep 09 01:46:40 2001\r\n");
  test::RecordingBoxes boxes;
  test::LoopbackMailOwner mail(boxes, dir.Path(), 1);  // port 1 on loopback: refused
  RunTest(mail, boxes);
  QtClipboard clipboard;
  test::RecordingBoxes copyBoxes;
  CopyReportToClipboard(clipboard, copyBoxes, ReportText().Text());
  EXPECT_TRUE(copyBoxes.shown.empty());
  const std::string copied = QGuiApplication::clipboard()->text().toLatin1().toStdString();
  EXPECT_EQ(copied.rfind("Zelka Disk information", 0), 0u);
  const std::string tail = "Email: Attempting to connect failed.  Error: 10061 \r\n";
  ASSERT_GE(copied.size(), tail.size()) << copied;
  EXPECT_EQ(copied.substr(copied.size() - tail.size()), tail) << copied;
  ReportText().Clear();
}

}  // namespace
}  // namespace kivo
