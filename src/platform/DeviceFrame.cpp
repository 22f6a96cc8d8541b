// The device framing: little-endian 32-bit fields, the same on every
// platform.
#include "platform/DeviceFrame.h"

#include <cstring>

namespace kivo::platform {
namespace {

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t GetU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

std::vector<std::uint8_t> EncodeCallFrame(std::uint32_t code, std::span<const std::uint8_t> input,
                                          std::uint32_t outLength) {
  std::vector<std::uint8_t> frame(kCallHeadSize + input.size());
  PutU32(frame.data(), code);
  PutU32(frame.data() + 4, static_cast<std::uint32_t>(input.size()));
  PutU32(frame.data() + 8, outLength);
  if (!input.empty()) std::memcpy(frame.data() + kCallHeadSize, input.data(), input.size());
  return frame;
}

bool DecodeCallHead(const std::uint8_t* head, CallHead* call) {
  call->code = GetU32(head);
  call->inLength = GetU32(head + 4);
  call->outLength = GetU32(head + 8);
  return call->inLength <= kMaxFrame && call->outLength <= kMaxFrame;
}

std::vector<std::uint8_t> EncodeReplyFrame(std::uint32_t error, std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> frame(kReplyHeadSize + bytes.size());
  PutU32(frame.data(), error);
  PutU32(frame.data() + 4, static_cast<std::uint32_t>(bytes.size()));
  if (!bytes.empty()) std::memcpy(frame.data() + kReplyHeadSize, bytes.data(), bytes.size());
  return frame;
}

bool DecodeReplyHead(const std::uint8_t* head, ReplyHead* reply) {
  reply->error = GetU32(head);
  reply->length = GetU32(head + 4);
  return reply->length <= kMaxFrame;
}

}  // namespace kivo::platform
