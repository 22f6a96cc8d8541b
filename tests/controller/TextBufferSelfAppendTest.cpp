// TextBuffer fed with its own text: the storage may move while it grows, so
// every append must take the text before the old storage is released.
#include <gtest/gtest.h>

#include <string>

#include "controller/TextBuffer.h"

namespace kivo {
namespace {

TEST(TextBufferSelfAppendTest, AppendOfItsOwnTextThatForcesGrowth) {
  TextBuffer buffer;
  buffer.Append("0123456789");
  ASSERT_EQ(buffer.Capacity(), 16);
  buffer.Append(buffer.Text());
  EXPECT_STREQ(buffer.Text(), "01234567890123456789");
  EXPECT_EQ(buffer.Length(), 20);
  EXPECT_EQ(buffer.Capacity(), 31);
}

TEST(TextBufferSelfAppendTest, AppendOfATailOfItsOwnText) {
  TextBuffer buffer;
  buffer.Append("abcdefghijklmn");
  buffer.Append(buffer.Text() + 10);
  EXPECT_STREQ(buffer.Text(), "abcdefghijklmnklmn");
  // Without growth too: room is left after the first append.
  TextBuffer roomy;
  roomy.Append(std::string(40, 'x').c_str());
  roomy.Assign("abc");
  roomy.Append(roomy.Text() + 1);
  EXPECT_STREQ(roomy.Text(), "abcbc");
}

TEST(TextBufferSelfAppendTest, PairWhoseSecondTextIsItsOwn) {
  TextBuffer buffer;
  buffer.Append("0123456789");
  buffer.AppendPair("----------", buffer.Text());
  EXPECT_STREQ(buffer.Text(), "0123456789----------0123456789");
}

TEST(TextBufferSelfAppendTest, BytesOfItsOwnText) {
  TextBuffer buffer;
  buffer.Append("0123456789abcde");
  ASSERT_EQ(buffer.Capacity(), 24);
  buffer.AppendBytes(buffer.Text() + 5, 10);
  EXPECT_STREQ(buffer.Text(), "0123456789abcde56789abcde");
  EXPECT_EQ(buffer.Length(), 25);
}

}  // namespace
}  // namespace kivo
