// Message boxes of the headless programs: "caption: text" on the stream,
// answered with OK.
#include "platform/ConsoleMessageBoxes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kivo::test {
namespace {

std::string Written(std::FILE* stream) {
  std::rewind(stream);
  std::string text;
  char buffer[256];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, n);
  return text;
}

TEST(ConsoleMessageBoxes, CaptionThenTextEndingInOneLineEnd) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  platform::ConsoleMessageBoxes boxes(stream);
  EXPECT_EQ(
      boxes.MessageBoxA(false, "Error opening controller 4, Access is denied.\r\n(error code 5) (ad008)\r\n",
                        "Zelka Error Message", platform::MB_ICONERROR),
      platform::IDOK);
  EXPECT_EQ(boxes.MessageBoxA(true, "Cannot open file data.txt.", "Error", platform::MB_ICONERROR),
            platform::IDOK);
  EXPECT_EQ(boxes.MessageBoxA(true, "", "Empty", platform::MB_YESNO), platform::IDOK);
  EXPECT_EQ(Written(stream),
            "Zelka Error Message: Error opening controller 4, Access is denied.\r\n(error code 5) (ad008)\r\n"
            "Error: Cannot open file data.txt.\n"
            "Empty: \n");
  std::fclose(stream);
}

}  // namespace
}  // namespace kivo::test
