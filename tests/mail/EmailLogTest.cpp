// The failure line, its two destinations, and a log file that cannot be kept.
#include "mail/EmailLog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "mail/MailTestSupport.h"
#include "platform/TcpSocket.h"
#include "report/ReportText.h"
#include "support/FullDiskWriter.h"

namespace kivo::test {
namespace {

class EmailLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReportText().Clear();
    platform::WSASetLastError(0);
  }
  TempDir dir;
  RecordingBoxes boxes;
};

TEST_F(EmailLogTest, FailureLineFormat) {
  struct Row {
    const char* message;
    const char* detail;
    int code;
    const char* expected;
  };
  const Row rows[] = {
      {"Email: Attempting to connect failed.", "", 10061,
       "Email: Attempting to connect failed.  Error: 10061 \r\n"},
      {"Email: Failed to connect to ", "mail.example.org", 0,
       "Email: Failed to connect to  mail.example.org Error: 0 \r\n"},
      {"Email: Unable to send data: ", "", -1, "Email: Unable to send data:   Error: -1 \r\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(FormatEmailFailure(row.message, row.detail, row.code), row.expected);
}

TEST_F(EmailLogTest, LongLinesAreCutTo255CharactersStillEndingInCrLf) {
  std::string detail(400, 'h');
  std::string line = FormatEmailFailure("Email: Failed to connect to ", detail, 10060);
  EXPECT_EQ(line.size(), 255u);
  EXPECT_EQ(line.substr(0, 29), "Email: Failed to connect to  ");
  EXPECT_EQ(line.substr(253), "\r\n");
  // "m " + detail + " Error: 0 \r\n" is 255 characters with a 241-character detail.
  std::string exact = FormatEmailFailure("m", std::string(241, 'x'), 0);
  EXPECT_EQ(exact.size(), 255u);
  EXPECT_EQ(exact.substr(exact.size() - 12), " Error: 0 \r\n");
  std::string over = FormatEmailFailure("m", std::string(242, 'x'), 0);
  EXPECT_EQ(over.size(), 255u);
  EXPECT_EQ(over.substr(over.size() - 11), " Error: 0\r\n");
}

TEST_F(EmailLogTest, LogEmailFailureWritesReportTextAndTheFile) {
  EmailLog log(boxes, dir.Path());
  platform::WSASetLastError(10061);
  EXPECT_EQ(log.LogEmailFailure("Email: Attempting to connect failed.", ""), 0);
  platform::WSASetLastError(10022);
  log.LogEmailFailure("Email: Attempting to connect failed.", "");
  EXPECT_STREQ(ReportText().Text(),
               "Email: Attempting to connect failed.  Error: 10061 \r\n"
               "Email: Attempting to connect failed.  Error: 10022 \r\n");
  EXPECT_EQ(ReadFile(dir.File("emaillog.txt")),
            "Email: Attempting to connect failed.  Error: 10061 \r\n\r\n"
            "Email: Attempting to connect failed.  Error: 10022 \r\n\r\n");
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(EmailLogTest, AppendKeepsWhatIsAlreadyInTheFile) {
  {
    std::ofstream existing(dir.File("emaillog.txt"), std::ios::binary);
    existing << "older entry\r\n\r\n";
  }
  EmailLog log(boxes, dir.Path());
  log.AppendEmailLog("new");
  EXPECT_EQ(ReadFile(dir.File("emaillog.txt")), "older entry\r\n\r\nnew\r\n");
}

TEST_F(EmailLogTest, AnUnopenableLogShowsAnUnownedErrorBoxAndKeepsReportText) {
  EmailLog log(boxes, dir.File("no-such-directory"));
  platform::WSASetLastError(10060);
  log.LogEmailFailure("Email: Attempting to connect failed.", "");
  EXPECT_STREQ(ReportText().Text(), "Email: Attempting to connect failed.  Error: 10060 \r\n");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_FALSE(boxes.shown[0].owned);
  EXPECT_EQ(boxes.shown[0].text, "Cannot open file emaillog.txt.");
  EXPECT_EQ(boxes.shown[0].caption, "Error");
  EXPECT_EQ(boxes.shown[0].type, platform::MB_OK | platform::MB_ICONERROR);
}

TEST_F(EmailLogTest, AFailedWriteAfterOpeningIsReportedLikeAFailedOpen) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(::symlink("/dev/full", dir.File("emaillog.txt").c_str()), 0);
  EmailLog log(boxes, dir.Path());
  log.AppendEmailLog("Email: Socket Error  Error: 10054 \r\n");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Cannot open file emaillog.txt.");
}

TEST_F(EmailLogTest, AFullDiskLeavesNoTornLineForTheNextEntryToJoin) {
  // Room for nothing, or for part of the entry: either way the file keeps
  // only whole entries and the failure is shown.
  for (long room : {0L, 7L}) {
    SCOPED_TRACE(room);
    std::filesystem::remove(dir.File("emaillog.txt"));
    FullDiskWriter disk;
    EmailLog log(boxes, dir.Path(), disk);
    boxes.shown.clear();
    log.AppendEmailLog("first \r\n");
    disk.room = room;
    log.AppendEmailLog("torn \r\n");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Cannot open file emaillog.txt.");
    disk.room = -1;
    log.AppendEmailLog("next \r\n");
    EXPECT_EQ(ReadFile(dir.File("emaillog.txt")), "first \r\n\r\nnext \r\n\r\n");
  }
}

}  // namespace
}  // namespace kivo::test
