// TextBuffer: growth figures, clearing and the strncpy rule of AppendBytes.
#include "controller/TextBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace kivo {
namespace {

TEST(TextBufferTest, NewBufferReadsAsEmptyTextWithoutStorage) {
  TextBuffer buffer;
  ASSERT_NE(buffer.Text(), nullptr);
  EXPECT_STREQ(buffer.Text(), "");
  EXPECT_EQ(buffer.Length(), 0);
  EXPECT_EQ(buffer.Capacity(), 0);
  buffer.Append("");
  buffer.Append(nullptr);
  EXPECT_EQ(buffer.Capacity(), 0);
}

TEST(TextBufferTest, GrowsToSixteenThenThirtyOne) {
  TextBuffer buffer;
  buffer.Append("0123456789");
  EXPECT_EQ(buffer.Capacity(), 16);
  buffer.Append("abcdefghij");
  EXPECT_EQ(buffer.Capacity(), 31);
  EXPECT_STREQ(buffer.Text(), "0123456789abcdefghij");
  EXPECT_EQ(buffer.Length(), 20);
}

TEST(TextBufferTest, HundredCharactersGiveCapacity151) {
  TextBuffer buffer;
  buffer.Append(std::string(100, 'x').c_str());
  EXPECT_EQ(buffer.Capacity(), 151);
}

TEST(TextBufferTest, AssignKeepsCapacity) {
  TextBuffer buffer;
  buffer.Append(std::string(500, 'y').c_str());
  int capacity = buffer.Capacity();
  buffer.Assign("abc");
  EXPECT_EQ(buffer.Capacity(), capacity);
  EXPECT_EQ(buffer.Length(), 3);
  EXPECT_STREQ(buffer.Text(), "abc");
  buffer.Clear();
  EXPECT_STREQ(buffer.Text(), "");
  EXPECT_EQ(buffer.Capacity(), capacity);
}

TEST(TextBufferTest, NumbersAndPairs) {
  TextBuffer buffer;
  buffer.AppendNumber(-5);
  buffer.AppendPair(" a", "b");
  buffer.AppendNumber(2147483647);
  EXPECT_STREQ(buffer.Text(), "-5 ab2147483647");
}

TEST(TextBufferTest, AppendBytesCopiesAsStrncpyAndGrowsByN) {
  TextBuffer buffer;
  buffer.Append("ab");
  const char data[] = {'x', 'y', '\0', 'z'};
  buffer.AppendBytes(data, 4);
  EXPECT_EQ(buffer.Length(), 6);
  EXPECT_STREQ(buffer.Text(), "abxy");
  EXPECT_EQ(std::string(buffer.Text(), 7), std::string("abxy\0\0\0", 7));
  buffer.AppendBytes(data, 0);
  buffer.AppendBytes(nullptr, 3);
  EXPECT_EQ(buffer.Length(), 6);
}

TEST(TextBufferTest, AppendBufferCopiesOtherAndSelf) {
  TextBuffer a, b;
  a.Append("one");
  b.AppendBuffer(a);
  b.AppendBuffer(b);
  EXPECT_STREQ(b.Text(), "oneone");
  TextBuffer empty;
  b.AppendBuffer(empty);
  EXPECT_EQ(b.Length(), 6);
}

}  // namespace
}  // namespace kivo
