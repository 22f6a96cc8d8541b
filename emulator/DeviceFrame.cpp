// Call heads read and reply frames written in the device framing, and the
// call answered under the world's lock, for both device servers.
#include "emulator/DeviceFrame.h"

#include <cstring>
#include <mutex>

namespace kivo::emulator {
namespace {

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t GetU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

bool DecodeCallHead(const std::uint8_t* head, CallHead* call) {
  call->code = GetU32(head);
  call->inLength = GetU32(head + 4);
  call->outLength = GetU32(head + 8);
  return call->inLength <= kMaxFrame && call->outLength <= kMaxFrame;
}

DeviceReply AnswerDeviceCall(World& world, const std::string& device, const CallHead& call,
                             const Bytes& request) {
  std::lock_guard lock(world.mutex);
  return HandleDeviceCall(world, device, call.code, request, call.outLength);
}

std::vector<std::uint8_t> EncodeReplyFrame(const DeviceReply& reply) {
  std::vector<std::uint8_t> frame(8 + reply.bytes.size());
  PutU32(frame.data(), reply.error);
  PutU32(frame.data() + 4, static_cast<std::uint32_t>(reply.bytes.size()));
  if (!reply.bytes.empty()) std::memcpy(frame.data() + 8, reply.bytes.data(), reply.bytes.size());
  return frame;
}

}  // namespace kivo::emulator
