// DeviceFrame: the bytes of one device-control call on a device socket or
// pipe (platform/DeviceIo.h gives the layout), for the device clients of both
// platforms and the emulator's device servers. Portable; throws nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kivo::platform {

constexpr std::size_t kCallHeadSize = 12;
constexpr std::size_t kReplyHeadSize = 8;
// A longer request or reply is no call of the utility's: the connection is
// dropped.
constexpr std::uint32_t kMaxFrame = 1u << 20;

struct CallHead {
  std::uint32_t code = 0;
  std::uint32_t inLength = 0;
  std::uint32_t outLength = 0;
};

struct ReplyHead {
  std::uint32_t error = 0;
  std::uint32_t length = 0;
};

// The call's head and its input.
std::vector<std::uint8_t> EncodeCallFrame(std::uint32_t code, std::span<const std::uint8_t> input,
                                          std::uint32_t outLength);
// Reads the kCallHeadSize bytes at `head`; false when a length is beyond
// kMaxFrame.
bool DecodeCallHead(const std::uint8_t* head, CallHead* call);

// The reply's head and its bytes.
std::vector<std::uint8_t> EncodeReplyFrame(std::uint32_t error, std::span<const std::uint8_t> bytes);
// Reads the kReplyHeadSize bytes at `head`; false when the length is beyond
// kMaxFrame.
bool DecodeReplyHead(const std::uint8_t* head, ReplyHead* reply);

}  // namespace kivo::platform
