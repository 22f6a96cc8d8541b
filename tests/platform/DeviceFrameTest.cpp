// The device framing both device clients and the emulator's servers speak.
#include "platform/DeviceFrame.h"

#include <gtest/gtest.h>

#include <vector>

namespace kivo::platform {
namespace {

TEST(DeviceFrameTest, CallFrameIsHeadThenInputLittleEndian) {
  const std::vector<std::uint8_t> input{0xAA, 0xBB};
  const std::vector<std::uint8_t> frame = EncodeCallFrame(0x0004D008, input, 0x1234);
  const std::vector<std::uint8_t> expected{0x08, 0xD0, 0x04, 0x00, 2, 0, 0, 0, 0x34, 0x12, 0, 0, 0xAA, 0xBB};
  EXPECT_EQ(frame, expected);
  CallHead head;
  ASSERT_TRUE(DecodeCallHead(frame.data(), &head));
  EXPECT_EQ(head.code, 0x0004D008u);
  EXPECT_EQ(head.inLength, 2u);
  EXPECT_EQ(head.outLength, 0x1234u);
}

TEST(DeviceFrameTest, ReplyFrameRoundTrips) {
  const std::vector<std::uint8_t> bytes{1, 2, 3};
  const std::vector<std::uint8_t> frame = EncodeReplyFrame(31, bytes);
  ASSERT_EQ(frame.size(), kReplyHeadSize + 3);
  ReplyHead head;
  ASSERT_TRUE(DecodeReplyHead(frame.data(), &head));
  EXPECT_EQ(head.error, 31u);
  EXPECT_EQ(head.length, 3u);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.begin() + kReplyHeadSize, frame.end()), bytes);
}

TEST(DeviceFrameTest, LengthsBeyondTheLimitAreRefused) {
  const std::uint8_t tooLong[] = {0, 0, 0, 0, 1, 0, 0x10, 0, 0, 0, 0, 0};  // 0x100001
  CallHead call;
  EXPECT_FALSE(DecodeCallHead(tooLong, &call));
  ReplyHead reply;
  EXPECT_FALSE(DecodeReplyHead(tooLong, &reply));
  const std::uint8_t atLimit[] = {0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0x10, 0};
  EXPECT_TRUE(DecodeCallHead(atLimit, &call));
  EXPECT_TRUE(DecodeReplyHead(atLimit, &reply));
}

}  // namespace
}  // namespace kivo::platform
