// Clipboard copy: each refusing step with its message and the clipboard left
// closed, the empty report, the text byte for byte, and the Qt clipboard.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <optional>

#include "AppTestSupport.h"
#include "app/QtClipboard.h"
#include "platform/LastError.h"
#include "shell/Clipboard.h"

namespace kivo {
namespace {

// A clipboard that can refuse each step and keeps what it was given.
class FakeClipboard : public ClipboardApi {
 public:
  bool Open() override {
    ++opens;
    if (refuseOpen) return false;
    open = true;
    return true;
  }
  bool Empty() override {
    if (!open || refuseEmpty) return false;
    content.reset();
    return true;
  }
  bool SetText(const std::string& text) override {
    if (!open || refuseSet) return false;
    content = text;
    return true;
  }
  void Close() override {
    ++closes;
    open = false;
  }

  bool refuseOpen = false;
  bool refuseEmpty = false;
  bool refuseSet = false;
  bool open = false;
  int opens = 0;
  int closes = 0;
  std::optional<std::string> content = std::string("earlier content");
};

struct FailureCase {
  bool refuseOpen, refuseEmpty, refuseSet;
  const char* report;
  const char* message;  // null: no message
  std::optional<std::string> contentAfter;
  int closes;
};

TEST(ClipboardTest, EachStepAndItsMessage) {
  const std::string report = "Zelka Disk Information Report\r\nline\r\n";
  const FailureCase cases[] = {
      {false, false, false, report.c_str(), nullptr, report, 1},
      {true, false, false, report.c_str(), kClipboardOpenFailed, std::string("earlier content"), 0},
      {false, true, false, report.c_str(), kClipboardEmptyFailed, std::string("earlier content"), 1},
      {false, false, true, report.c_str(), kClipboardCopyFailed, std::nullopt, 1},
      {false, false, false, "", kClipboardCopyFailed, std::nullopt, 1},
      {false, false, false, nullptr, kClipboardCopyFailed, std::nullopt, 1},
  };
  for (const FailureCase& c : cases) {
    FakeClipboard clipboard;
    clipboard.refuseOpen = c.refuseOpen;
    clipboard.refuseEmpty = c.refuseEmpty;
    clipboard.refuseSet = c.refuseSet;
    test::RecordingBoxes boxes;
    CopyReportToClipboard(clipboard, boxes, c.report);
    if (c.message == nullptr) {
      EXPECT_TRUE(boxes.shown.empty());
    } else {
      ASSERT_EQ(boxes.shown.size(), 1u) << c.message;
      EXPECT_EQ(boxes.shown[0].text, c.message);
      EXPECT_EQ(boxes.shown[0].caption, "Kivo Disk Managenemt Utility");
      EXPECT_EQ(boxes.shown[0].type, platform::MB_OK);  // OK, no icon
      EXPECT_TRUE(boxes.shown[0].owned);
    }
    EXPECT_EQ(clipboard.content, c.contentAfter) << (c.message ? c.message : "success");
    EXPECT_FALSE(clipboard.open);  // every way out leaves it closed
    EXPECT_EQ(clipboard.closes, c.closes);
  }
}

TEST(ClipboardTest, PutClipboardTextClearsTheLastError) {
  FakeClipboard clipboard;
  clipboard.open = true;
  platform::SetLastError(1234);
  EXPECT_EQ(PutClipboardText(clipboard, ""), 0);
  EXPECT_EQ(platform::GetLastError(), 0u);
  EXPECT_EQ(PutClipboardText(clipboard, nullptr), 0);
  EXPECT_EQ(PutClipboardText(clipboard, "x\r\n"), 1);
  EXPECT_EQ(clipboard.content, std::string("x\r\n"));
}

TEST(ClipboardTest, GuardClosesOnlyWhatItOpened) {
  FakeClipboard clipboard;
  clipboard.refuseOpen = true;
  {
    ClipboardGuard guard(clipboard);
    EXPECT_FALSE(guard.Open());
  }
  EXPECT_EQ(clipboard.closes, 0);
  clipboard.refuseOpen = false;
  {
    ClipboardGuard guard(clipboard);
    EXPECT_TRUE(guard.Open());
    guard.Close();
  }
  EXPECT_EQ(clipboard.closes, 1);  // closed once, not again at scope end
}

TEST(ClipboardTest, QtClipboardTakesTheBytesAsSingleByteText) {
  QtClipboard clipboard;
  test::RecordingBoxes boxes;
  const std::string report = "TIME: Sun Sep 09 01:46:40 2001 MESSAGE: caf\xe9 unit 1.\r\n";
  CopyReportToClipboard(clipboard, boxes, report.c_str());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(QGuiApplication::clipboard()->text().toLatin1().toStdString(), report);
  // The Qt clipboard is opened afresh each time (no lock is left behind).
  CopyReportToClipboard(clipboard, boxes, "second\r\n");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("second\r\n"));
  CopyReportToClipboard(clipboard, boxes, "");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, kClipboardCopyFailed);
  EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());  // emptied
}

}  // namespace
}  // namespace kivo
