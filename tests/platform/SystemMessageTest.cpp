// The system message table: exact wording of each code the program meets,
// and the buffer rules of FormatMessageA.
#include "platform/SystemMessage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/LastError.h"

namespace kivo::test {
namespace {

using namespace kivo::platform;

constexpr DWORD kNeutral = 0x400;

std::string Message(DWORD code, DWORD size = 512) {
  std::string buffer(size, '#');
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, code, kNeutral, buffer.data(), size);
  if (n == 0) return "<none>";
  EXPECT_EQ(buffer[n], '\0');
  return buffer.substr(0, n);
}

struct Row {
  DWORD code;
  const char* text;
};

class SystemMessageTableTest : public ::testing::TestWithParam<Row> {};

TEST_P(SystemMessageTableTest, GivesTheSystemSentence) {
  EXPECT_EQ(Message(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SystemMessageTableTest,
    ::testing::Values(
        Row{1, "Incorrect function.\r\n"}, Row{2, "The system cannot find the file specified.\r\n"},
        Row{3, "The system cannot find the path specified.\r\n"}, Row{5, "Access is denied.\r\n"},
        Row{6, "The handle is invalid.\r\n"},
        Row{8, "Not enough storage is available to process this command.\r\n"},
        Row{13, "The data is invalid.\r\n"}, Row{21, "The device is not ready.\r\n"},
        Row{24, "The program issued a command but the command length is incorrect.\r\n"},
        Row{31, "A device attached to the system is not functioning.\r\n"},
        Row{87, "The parameter is incorrect.\r\n"},
        Row{122, "The data area passed to a system call is too small.\r\n"},
        Row{161, "The specified path is invalid.\r\n"}, Row{234, "More data is available.\r\n"},
        Row{1009, "The configuration registry database is corrupt.\r\n"},
        Row{1012, "The configuration registry key could not be read.\r\n"},
        Row{1013, "The configuration registry key could not be written.\r\n"},
        Row{1015,
            "The registry is corrupted. The structure of one of the files containing registry data is "
            "corrupted, or "
            "the system's memory image of the file is corrupted, or the file could not be recovered because "
            "the "
            "alternate copy or log was absent or corrupted.\r\n"},
        Row{1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
        Row{1167, "The device is not connected.\r\n"}, Row{1722, "The RPC server is unavailable.\r\n"},
        Row{1726, "The remote procedure call failed.\r\n"},
        Row{1728, "A remote procedure call (RPC) protocol error occurred.\r\n"},
        Row{10022, "An invalid argument was supplied.\r\n"},
        Row{10050, "A socket operation encountered a dead network.\r\n"},
        Row{10051, "A socket operation was attempted to an unreachable network.\r\n"},
        Row{10054, "An existing connection was forcibly closed by the remote host.\r\n"},
        Row{10060,
            "A connection attempt failed because the connected party did not properly respond after a period "
            "of "
            "time, or established connection failed because connected host has failed to respond.\r\n"},
        Row{10061, "No connection could be made because the target machine actively refused it.\r\n"},
        Row{10065, "A socket operation was attempted to an unreachable host.\r\n"}),
    [](const ::testing::TestParamInfo<Row>& info) { return "Code" + std::to_string(info.param.code); });

TEST(SystemMessageTest, UnknownCodesWriteNothing) {
  for (DWORD code : {0u, 4u, 9999u, 10062u, 0xFFFFFFFFu}) {
    char buffer[128] = "untouched";
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, code, kNeutral, buffer, sizeof buffer), 0u) << code;
    EXPECT_STREQ(buffer, "untouched") << code;
    EXPECT_EQ(GetLastError(), 317u);
  }
}

TEST(SystemMessageTest, ABufferOneTooSmallGetsNothing) {
  const char* text = "Access is denied.\r\n";
  DWORD length = static_cast<DWORD>(std::strlen(text));
  char buffer[64] = "untouched";
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 5, kNeutral, buffer, length), 0u);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 5, kNeutral, buffer, length + 1), length);
  EXPECT_STREQ(buffer, text);
}

TEST(SystemMessageTest, TheLongRegistryMessageDoesNotFitAnErrorTextField) {
  // The device channel's error text has room for 127 characters: this
  // sentence is longer, so it yields nothing and the caller writes the code.
  EXPECT_GT(std::strlen(Message(1015).c_str()), 127u);
  char field[128];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 1015, kNeutral, field, 127), 0u);
}

TEST(SystemMessageTest, OnlyTheSystemTableIntoACallersBuffer) {
  char buffer[64];
  EXPECT_EQ(FormatMessageA(0, 5, kNeutral, buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 5, kNeutral, nullptr, 64), 0u);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | 0x100, 5, kNeutral, buffer, sizeof buffer), 0u);
  // Other flags (ignore inserts, line width) change nothing for these texts.
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | 0x200, 5, kNeutral, buffer, sizeof buffer), 19u);
}

}  // namespace
}  // namespace kivo::test
