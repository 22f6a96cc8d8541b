// The SMTP dialogue against a scripted loopback server: a full delivery byte
// for byte, every refusal of the failure table, the MAIL FROM retry, replies
// arriving together, replies of several lines, a server that closes, resets,
// never ends its line or falls silent, failed sends, reuse of a session,
// settings holding line breaks, and unreachable servers.
#include "mail/SmtpSession.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <chrono>
#include <fstream>

#include "mail/InstallSettings.h"
#include "mail/MailSender.h"
#include "mail/MailTestSupport.h"
#include "mail/ScriptedServer.h"
#include "platform/PollSocketWatcher.h"
#include "platform/Registry.h"
#include "report/ReportText.h"
#include "support/FakeClock.h"

namespace kivo::test {
namespace {

using namespace std::chrono_literals;

const char kBody[] =
    "Message sent from system KIVOHOST.\r\nTIME: Sun Sep 09 01:46:40 2001 MESSAGE: Email test.";

// The server's side of a conversation that accepts everything, for n
// recipients (the last answered "251").
Script Accepting(int recipients) {
  Script script = {Reply("220 mail.example.org ready\r\n"), ReadLine(), Reply("250 hello\r\n"), ReadLine(),
                   Reply("250 sender ok\r\n")};
  for (int i = 0; i < recipients; ++i) {
    script.push_back(ReadLine());
    script.push_back(Reply(i + 1 == recipients ? "251 will forward\r\n" : "250 recipient ok\r\n"));
  }
  for (ServerStep step : {ReadLine(), Reply("354 go ahead\r\n"), ReadData(), Reply("250 queued\r\n"),
                          ReadLine(), Reply("221 bye\r\n")}) {
    script.push_back(step);
  }
  return script;
}

class SmtpSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReportText().Clear();
    platform::WSASetLastError(0);
  }

  void Start(std::vector<Script> scripts) {
    server = std::make_unique<ScriptedServer>(std::move(scripts));
    window = std::make_unique<FakeMailWindow>(watcher, log, server->Port());
  }
  // Runs the message loop until done() holds (bounded).
  bool Pump(const std::function<bool()>& done) {
    return watcher.RunUntil(done, 10s, [this] { window->DeliverPosted(); });
  }
  bool PumpUntilDropped() {
    return Pump([this] { return window->sender.Session() == nullptr; });
  }
  std::string Log() { return ReadFile(dir.File("emaillog.txt")); }

  EmailSettings settings{"127.0.0.1", "a@x.org, b@y.org;c@z.org", "kivo@host.example", "KivoServer", 0};
  TempDir dir;
  RecordingBoxes boxes;
  EmailLog log{boxes, dir.Path()};
  FakeClock clock;
  platform::PollSocketWatcher watcher{&clock};
  std::unique_ptr<ScriptedServer> server;  // declared before the window: closes after it
  std::unique_ptr<FakeMailWindow> window;
};

TEST_F(SmtpSessionTest, DeliversTheMessageByteForByte) {
  Start({Accepting(3)});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  ASSERT_NE(window->sender.Session(), nullptr);
  EXPECT_EQ(window->sender.Session()->State(), AwaitGreeting);
  EXPECT_GT(window->sender.Session()->SendBufferSize(), 0);
  EXPECT_GT(window->sender.Session()->ReceiveBufferSize(), 0);
  ASSERT_TRUE(PumpUntilDropped());
  ASSERT_TRUE(server->Join());
  EXPECT_EQ(server->Received(),
            "HELO KivoServer\r\n"
            "MAIL FROM:<kivo@host.example>\r\n"
            "RCPT TO:<a@x.org>\r\n"
            "RCPT TO:<b@y.org>\r\n"
            "RCPT TO:<c@z.org>\r\n"
            "DATA\r\n"
            "From:\"KivoServer\"<kivo@host.example>\r\n"
            "To: a@x.org,b@y.org,c@z.org\r\n"
            "Subject: Kivo Email Test\r\n"
            "\r\n" +
                std::string(kBody) +
                "\r\n.\r\n"
                "QUIT\r\n");
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{7, 7}}));
  EXPECT_TRUE(window->sent.empty());
  EXPECT_STREQ(ReportText().Text(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("emaillog.txt")));
  EXPECT_EQ(watcher.Watched(), 0);
}

TEST_F(SmtpSessionTest, ResolvesAHostName) {
  Start({Accepting(1)});
  settings.Host = "localhost";
  settings.ToID = "ops@example.org";
  ASSERT_EQ(window->sender.SendEmailMessage(settings, "x"), 1);
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{7, 7}}));
  EXPECT_TRUE(
      server->ReceivedContains("To: ops@example.org\r\nSubject: Kivo Email Test\r\n\r\nx\r\n.\r\nQUIT\r\n"));
}

struct RefusalRow {
  const char* name;
  Script script;
  const char* line;
  long state;
};

TEST_F(SmtpSessionTest, EveryRefusalEndsTheDialogueWithItsLine) {
  const std::vector<RefusalRow> rows = {
      {"greeting", {Reply("554 go away\r\n")}, "Email: Failed to connect to  127.0.0.1 Error: 0 \r\n", 1},
      {"helo",
       {Reply("220 ok\r\n"), ReadLine(), Reply("501 who\r\n")},
       "Email: Unknown domain -  Unknown user Error: 0 \r\n",
       2},
      {"mail from twice",
       {Reply("220 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(), Reply("451 later\r\n"), ReadLine(),
        Reply("550 no\r\n")},
       "Email: Invalid Sender ID -  kivo@host.example Error: 0 \r\n",
       3},
      {"second recipient",
       {Reply("220 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(),
        Reply("250 ok\r\n"), ReadLine(), Reply("550 unknown\r\n")},
       "Email: Invalid Receiver ID -  b@y.org Error: 0 \r\n",
       4},
      {"data",
       {Reply("220 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(),
        Reply("250 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(),
        Reply("503 no\r\n")},
       "Email: Unable to send data:   Error: 0 \r\n",
       5},
      {"short line", {Reply("22\r\n")}, "Email: Failed to connect to  127.0.0.1 Error: 0 \r\n", 1},
  };
  for (const RefusalRow& row : rows) {
    SCOPED_TRACE(row.name);
    ReportText().Clear();
    std::filesystem::remove(dir.File("emaillog.txt"));
    window.reset();
    Start({row.script});
    ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
    ASSERT_TRUE(PumpUntilDropped());
    EXPECT_EQ(window->sent, (std::vector<std::pair<int, long>>{{8, row.state}}));
    EXPECT_TRUE(window->posted.empty());
    EXPECT_STREQ(ReportText().Text(), row.line);
    EXPECT_EQ(Log(), std::string(row.line) + "\r\n");
    EXPECT_EQ(watcher.Watched(), 0);
    EXPECT_TRUE(server->Join());  // the dropped session closed its connection
  }
}

TEST_F(SmtpSessionTest, AnyAnswerToTheEndOfDataAndToQuitEndsTheDialogue) {
  // A refused message and an odd answer to QUIT: QUIT still follows, the
  // dialogue still ends with MailDone, and nothing is logged.
  const std::pair<const char*, const char*> rows[] = {
      {"554 rejected\r\n", "500 what\r\n"},
      {"x\r\n", "\r\n"},
  };
  for (const auto& [dataAnswer, quitAnswer] : rows) {
    SCOPED_TRACE(dataAnswer);
    window.reset();
    Start({{Reply("220 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(),
            Reply("250 ok\r\n"), ReadLine(), Reply("354 go\r\n"), ReadData(), Reply(dataAnswer), ReadLine(),
            Reply(quitAnswer)}});
    settings.ToID = "ops@example.org";
    ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
    ASSERT_TRUE(PumpUntilDropped());
    ASSERT_TRUE(server->Join());
    EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{7, 7}}));
    EXPECT_TRUE(window->sent.empty());
    EXPECT_TRUE(server->ReceivedContains("\r\n.\r\nQUIT\r\n"));
    EXPECT_STREQ(ReportText().Text(), "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("emaillog.txt")));
  }
}

TEST_F(SmtpSessionTest, AFirstRefusedMailFromIsRepeatedOnce) {
  Script script = Accepting(1);
  // Answer the first MAIL FROM with a refusal and read its repetition.
  script.insert(script.begin() + 4, {Reply("451 try again\r\n"), ReadLine()});
  Start({script});
  settings.ToID = "ops@example.org";
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{7, 7}}));
  std::string received = server->Received();
  EXPECT_EQ(
      received.rfind("HELO KivoServer\r\nMAIL FROM:<kivo@host.example>\r\nMAIL FROM:<kivo@host.example>\r\n"
                     "RCPT TO:<ops@example.org>\r\nDATA\r\n",
                     0),
      0u);
  EXPECT_STREQ(ReportText().Text(), "");
}

TEST_F(SmtpSessionTest, ARecipientTextWithoutAddressesFailsAfterTheSender) {
  Start({{Reply("220 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(), Reply("250 ok\r\n")}});
  settings.ToID = " ; ,, ";
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->sent, (std::vector<std::pair<int, long>>{{8, 3}}));
  EXPECT_STREQ(ReportText().Text(), "Email: Invalid Receiver ID -   Error: 0 \r\n");
  ASSERT_TRUE(server->Join());
  EXPECT_EQ(server->Received(), "HELO KivoServer\r\nMAIL FROM:<kivo@host.example>\r\n");
}

TEST_F(SmtpSessionTest, TwoLinesInOneReadAreHandledOneNotificationApart) {
  Start({{Reply("220 ok\r\n250 early\r\n"), ReadLine(), Reply("250 late\r\n"), ReadLine()}});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  SmtpSession* session = window->sender.Session();
  ASSERT_TRUE(Pump([&] { return session->State() == AwaitHelo; }));
  EXPECT_EQ(session->ReceiveBuffer(), "250 early\r\n");
  EXPECT_EQ(session->CurrentReply(), "220 ok\r\n");
  // The early line waits for the next read; the late one then waits in turn.
  ASSERT_TRUE(Pump([&] { return server->ReceivedContains("MAIL FROM"); }));
  ASSERT_TRUE(Pump([&] { return session->State() == AwaitMailFrom; }));
  EXPECT_EQ(session->CurrentReply(), "250 early\r\n");
  EXPECT_EQ(session->ReceiveBuffer(), "250 late\r\n");
  EXPECT_TRUE(session->ReplyQueue().empty());
  EXPECT_STREQ(ReportText().Text(), "");
}

TEST_F(SmtpSessionTest, RepliesOfSeveralLinesCountAsOne) {
  // The greeting comes in two reads: half a reply moves nothing.
  Start({{Reply("220-mail.example.org ESMTP\r\n"), Gate(), Reply("220 ready\r\n"), ReadLine(),
          Reply("250-hello\r\n250-SIZE 1000\r\n250 HELP\r\n"), ReadLine()}});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  SmtpSession* session = window->sender.Session();
  ASSERT_TRUE(Pump([&] { return !session->ReceiveBuffer().empty(); }));
  EXPECT_TRUE(session->ReplyQueue().empty());
  server->OpenGate();
  ASSERT_TRUE(Pump([&] { return server->ReceivedContains("MAIL FROM"); }));
  EXPECT_EQ(session->State(), AwaitMailFrom);
  EXPECT_STREQ(ReportText().Text(), "");
}

TEST_F(SmtpSessionTest, ASilentServerFailsAsATimedOutReadAfterAMinute) {
  // It greets, then sends half an answer to HELO and falls silent.
  Start({{Reply("220 ok\r\n"), ReadLine(), Reply("250-hello\r\n"), Gate()}});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  ASSERT_TRUE(Pump([&] { return window->sender.Session()->ReceiveBuffer() == "250-hello\r\n"; }));
  clock.Advance(59000);
  watcher.RunOnce(0);
  ASSERT_NE(window->sender.Session(), nullptr) << "a minute is allowed";
  clock.Advance(1000);
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{8, platform::WSAETIMEDOUT}}));
  EXPECT_EQ(Log(), "Email: Socket Error  Error: 10060 \r\n\r\n");
  server->OpenGate();
}

TEST_F(SmtpSessionTest, ASettingHoldingALineBreakNeverReachesTheWireOrTheLog) {
  struct Row {
    std::string EmailSettings::*member;
    const char* name;
    const char* lineBreak;
  };
  const Row rows[] = {{&EmailSettings::Host, "Host", "\r\n"},
                      {&EmailSettings::FromName, "FromName", "\n"},
                      {&EmailSettings::FromID, "FromID", "\r"},
                      {&EmailSettings::ToID, "ToID", "\r\n"}};
  Start({});
  for (const Row& row : rows) {
    ReportText().Clear();
    EmailSettings injected = settings;
    injected.*row.member += std::string(row.lineBreak) + "RCPT TO:<other@evil.example>";
    EXPECT_EQ(window->sender.SendEmailMessage(injected, kBody), 0);
    EXPECT_EQ(ReportText().Text(),
              "Email: Line break in setting - " + std::string(row.name) + " Error: 10022 \r\n");
  }
  EXPECT_EQ(window->sender.Session(), nullptr);
  EXPECT_EQ(Log().find("evil"), std::string::npos);
  EXPECT_EQ(server->Received(), "");
}

TEST_F(SmtpSessionTest, AStoredHostWithALineBreakFailsTheTestNamingTheSetting) {
  // A REG_SZ written as hex(1) bytes in the registry file may hold any byte.
  auto registry = platform::MakeFileRegistry(dir.Path());
  ASSERT_EQ(SeedInstallSettings(*registry).status, 0);
  RecordingBoxes saveBoxes;
  ASSERT_EQ(SaveEmailSettings(*registry, settings, saveBoxes), 0);
  std::string text = ReadFile(dir.File("HKEY_USERS.reg"));
  const std::string host = "\"Host\"=\"127.0.0.1\"";
  ASSERT_NE(text.find(host), std::string::npos) << text;
  text.replace(text.find(host), host.size(),
               "\"Host\"=hex(1):31,32,37,2e,30,2e,30,2e,31,0d,0a,52,43,50,54,00");
  std::ofstream(dir.File("HKEY_USERS.reg"), std::ios::binary) << text;
  EmailSettings loaded;
  LoadEmailSettings(*platform::MakeFileRegistry(dir.Path()), loaded);
  ASSERT_EQ(loaded.Host, "127.0.0.1\r\nRCPT");
  Start({});
  EXPECT_EQ(window->sender.SendEmailMessage(loaded, kBody), 0);
  EXPECT_EQ(Log(), "Email: Line break in setting - Host Error: 10022 \r\n\r\n");
}

// The shell's wait: the message loop runs while a send waits for room.
class LoopingWait : public platform::SocketWait {
 public:
  explicit LoopingWait(std::function<void()> loop) : loop_(std::move(loop)) {}
  int WaitFor(int fd, short events, int timeoutMs) override {
    ++waits;
    loop_();
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, timeoutMs < 0 ? 10000 : timeoutMs);
  }
  int waits = 0;

 private:
  std::function<void()> loop_;
};

TEST_F(SmtpSessionTest, AReplyArrivingWhileTheMessageWaitsForRoomIsTakenAfterIt) {
  // The server answers the first line of the message at once, then reads the
  // rest only when the test lets it: the answer arrives during the send.
  Start({});
  server = std::make_unique<ScriptedServer>(std::vector<Script>{
      {Reply("220 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(),
       Reply("250 ok\r\n"), ReadLine(), Reply("354 go\r\n"), ReadLine(), Reply("554 rejected\r\n"), Gate(),
       ReadData(), ReadLine(), Reply("221 bye\r\n")}});
  LoopingWait wait([this] {
    watcher.RunUntil([this] { return watcher.Watched() == 0; }, 2s, [this] { window->DeliverPosted(); });
    server->OpenGate();
  });
  window = std::make_unique<FakeMailWindow>(watcher, log, server->Port(), &wait);
  settings.ToID = "ops@example.org";
  const std::string body(1 << 20, 'x');
  ASSERT_EQ(window->sender.SendEmailMessage(settings, body), 1);
  const int small = 4096;
  ::setsockopt(window->sender.Session()->Descriptor(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_GT(wait.waits, 0);
  // The rejection was held back until the message was out, then answered.
  EXPECT_TRUE(server->ReceivedContains(body + "\r\n.\r\nQUIT\r\n"));
  EXPECT_TRUE(window->sent.empty());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{7, 7}}));
  EXPECT_STREQ(ReportText().Text(), "");
}

TEST_F(SmtpSessionTest, AServerThatClosesLeavesTheSessionWaitingWithoutSpinning) {
  Start({{Reply("220 ok\r\n"), ReadLine(), CloseConnection()}, Accepting(3)});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  ASSERT_TRUE(Pump([&] { return watcher.Watched() == 0; }));
  ASSERT_NE(window->sender.Session(), nullptr);
  EXPECT_EQ(window->sender.Session()->State(), AwaitHelo);
  EXPECT_EQ(watcher.RunOnce(0), 0);  // nothing left to report
  EXPECT_TRUE(window->sent.empty());
  EXPECT_TRUE(window->posted.empty());
  EXPECT_STREQ(ReportText().Text(), "");

  // The next message reuses the session on a new connection.
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{7, 7}}));
}

TEST_F(SmtpSessionTest, ReuseInMidDialogueForgetsTheEarlierServer) {
  // The first server leaves a whole line and half a line unread.
  Start({{Reply("220 ok\r\n250 stale\r\n250 half"), ReadLine()}, Accepting(3)});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  SmtpSession* first = window->sender.Session();
  ASSERT_TRUE(Pump([&] { return server->ReceivedContains("HELO"); }));
  ASSERT_TRUE(Pump([&] { return first->ReceiveBuffer().find("half") != std::string::npos; }));
  int oldFd = first->Descriptor();

  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  EXPECT_EQ(window->sender.Session(), first);
  EXPECT_TRUE(first->ReceiveBuffer().empty());
  EXPECT_TRUE(first->ReplyQueue().empty());
  EXPECT_EQ(first->State(), AwaitGreeting);
  EXPECT_EQ(watcher.Watched(), 1);
  EXPECT_TRUE(watcher.IsWatching(first->Descriptor()));
  (void)oldFd;
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{7, 7}}));
  EXPECT_TRUE(server->ReceivedContains("From:\"KivoServer\"<kivo@host.example>\r\n", 1));
  EXPECT_STREQ(ReportText().Text(), "");
}

TEST_F(SmtpSessionTest, AResetConnectionPostsMailFailedWithItsCode) {
  Start({{Reply("220 ok\r\n"), ReadLine(), ResetConnection()}});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_TRUE(window->sent.empty());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{8, 10054}}));
  EXPECT_STREQ(ReportText().Text(), "Email: Socket Error  Error: 10054 \r\n");
  EXPECT_EQ(Log(), "Email: Socket Error  Error: 10054 \r\n\r\n");
}

TEST_F(SmtpSessionTest, AnErrorInTheReadNotificationPostsMailFailedWithThatCode) {
  Start({{Gate(), Reply("220 ok\r\n")}});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  SmtpSession* session = window->sender.Session();
  session->OnReceive(10053);
  // Posted, not sent: the session stays until the message is handled.
  EXPECT_EQ(window->sender.Session(), session);
  EXPECT_TRUE(window->sent.empty());
  EXPECT_EQ(window->queue, (std::deque<std::pair<int, long>>{{8, 10053}}));
  EXPECT_EQ(session->State(), AwaitGreeting);
  EXPECT_STREQ(ReportText().Text(), "Email: Socket Error  Error: 10053 \r\n");
  EXPECT_EQ(Log(), "Email: Socket Error  Error: 10053 \r\n\r\n");
  server->OpenGate();
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{8, 10053}}));
  // Nothing was sent: the greeting never moved the dialogue on.
  EXPECT_EQ(server->Received(), "");
}

TEST_F(SmtpSessionTest, AServerThatNeverEndsItsLineFailsPast64KiB) {
  Start({{Reply(std::string(70 * 1024, 'x'))}});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  SmtpSession* session = window->sender.Session();
  std::size_t largest = 0;
  ASSERT_TRUE(Pump([&] {
    if (window->sender.Session() == nullptr) return true;
    largest = std::max(largest, session->ReceiveBuffer().size());
    return false;
  }));
  EXPECT_LE(largest, SmtpSession::kMaxReceiveBuffer);
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{8, 10040}}));
  EXPECT_STREQ(ReportText().Text(), "Email: Socket Error  Error: 10040 \r\n");
}

TEST_F(SmtpSessionTest, AFailedCommandSendIsLoggedAndTheSessionWaits) {
  Start({{Gate(), Reply("220 ok\r\n")}});
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  SmtpSession* session = window->sender.Session();
  ASSERT_EQ(::shutdown(session->Descriptor(), SHUT_WR), 0);
  server->OpenGate();
  ASSERT_TRUE(Pump([&] { return session->State() == AwaitHelo; }));
  EXPECT_STREQ(ReportText().Text(), "Email: Socket error:  Error: 10054 \r\n");
  EXPECT_TRUE(window->sent.empty());
  EXPECT_TRUE(window->posted.empty());
  EXPECT_EQ(window->sender.Session(), session);
}

TEST_F(SmtpSessionTest, AFailedMessageWriteFailsTheDialogue) {
  Start({{Reply("220 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(), Reply("250 ok\r\n"), ReadLine(),
          Reply("250 ok\r\n"), ReadLine(), Gate(), Reply("354 go\r\n")}});
  settings.ToID = "ops@example.org";
  ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
  SmtpSession* session = window->sender.Session();
  ASSERT_TRUE(Pump([&] { return server->ReceivedContains("DATA\r\n"); }));
  ASSERT_EQ(::shutdown(session->Descriptor(), SHUT_WR), 0);
  server->OpenGate();
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->sent, (std::vector<std::pair<int, long>>{{8, 5}}));
  EXPECT_STREQ(ReportText().Text(),
               "Email: Socket Error:  Error: 10054 \r\n"
               "Email: Unable to send data:   Error: 10054 \r\n");
}

TEST_F(SmtpSessionTest, AHeaderLongerThanTheWorkBufferIsSentWhole) {
  Start({Accepting(1)});
  settings.FromName = std::string(300 * 1024, 'n');
  settings.ToID = "ops@example.org";
  ASSERT_EQ(window->sender.SendEmailMessage(settings, "body"), 1);
  ASSERT_TRUE(PumpUntilDropped());
  EXPECT_EQ(window->posted, (std::vector<std::pair<int, long>>{{7, 7}}));
  EXPECT_TRUE(server->ReceivedContains("From:\"" + settings.FromName +
                                       "\"<kivo@host.example>\r\nTo: ops@example.org\r\nSubject: Kivo Email "
                                       "Test\r\n\r\nbody\r\n.\r\n"));
}

TEST_F(SmtpSessionTest, AnUnresolvableServerNameGivesOneLineWith10022) {
  Start({});
  settings.Host = "no-such-host.invalid";
  EXPECT_EQ(window->sender.SendEmailMessage(settings, kBody), 0);
  EXPECT_EQ(window->sender.Session(), nullptr);
  EXPECT_STREQ(ReportText().Text(), "Email: Attempting to connect failed.  Error: 10022 \r\n");
  EXPECT_EQ(Log(), "Email: Attempting to connect failed.  Error: 10022 \r\n\r\n");
  EXPECT_EQ(watcher.Watched(), 0);
}

TEST_F(SmtpSessionTest, AClosedPortGivesConnectionRefused) {
  int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(probe);  // bound, never listened: the port refuses
  FakeMailWindow closedWindow(watcher, log, ntohs(address.sin_port));
  EXPECT_EQ(closedWindow.sender.SendEmailMessage(settings, kBody), 0);
  EXPECT_EQ(closedWindow.sender.Session(), nullptr);
  EXPECT_STREQ(ReportText().Text(), "Email: Attempting to connect failed.  Error: 10061 \r\n");
}

TEST_F(SmtpSessionTest, MissingSettingsStartNothingAndLogNothing) {
  Start({});
  for (std::string EmailSettings::*field :
       {&EmailSettings::Host, &EmailSettings::FromName, &EmailSettings::FromID, &EmailSettings::ToID}) {
    EmailSettings incomplete = settings;
    incomplete.*field = "";
    EXPECT_EQ(window->sender.SendEmailMessage(incomplete, "text"), 0);
    EXPECT_EQ(window->sender.CurrentMail(), "text");
    EXPECT_EQ(window->sender.Session(), nullptr);
  }
  EXPECT_STREQ(ReportText().Text(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("emaillog.txt")));
}

TEST_F(SmtpSessionTest, StatusMessagesDropTheSession) {
  struct Row {
    int wParam;
    long lParam;
    bool dropped;
  };
  const Row rows[] = {{7, 7, true}, {8, 10054, true}, {8, 3, true}, {0, 0, false}, {1, 8, false}};
  for (const Row& row : rows) {
    window.reset();
    Start({{Reply("220 ok\r\n")}});
    ASSERT_EQ(window->sender.SendEmailMessage(settings, kBody), 1);
    EXPECT_EQ(window->sender.HandleMailStatus(row.wParam, row.lParam), 0);
    EXPECT_EQ(window->sender.Session() == nullptr, row.dropped) << row.wParam << "," << row.lParam;
    window->sender.DropSession();
    window->sender.DropSession();  // nothing left: harmless
  }
}

TEST(SplitRecipientsTest, CutsAtEverySeparatorAndTrims) {
  struct Row {
    const char* text;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {"a@x.org, b@y.org;c@z.org", {"a@x.org", "b@y.org", "c@z.org"}},
      {"  one@x.org  ", {"one@x.org"}},
      {"a@x;;b@y", {"a@x", "b@y"}},
      {"a@x, ,\t;b@y,", {"a@x", "b@y"}},
      {" ; , ", {}},
      {"", {}},
      {"first last@x", {"first last@x"}},
  };
  for (const Row& row : rows) EXPECT_EQ(SplitRecipients(row.text), row.expected) << row.text;
}

}  // namespace
}  // namespace kivo::test
