// DeviceFrame: the framing of platform/DeviceIo.h as both device servers
// speak it. A call is a 12-byte head (control code, request length, room for
// the reply; little-endian) and the request; a reply is an 8-byte head
// (error, reply length) and the reply bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/World.h"

namespace kivo::emulator {

constexpr std::size_t kCallHeadSize = 12;
// Larger frames are not requests of the utility: the connection is dropped.
constexpr std::uint32_t kMaxFrame = 1u << 20;

struct CallHead {
  std::uint32_t code = 0;
  std::uint32_t inLength = 0;
  std::uint32_t outLength = 0;
};

// Reads the kCallHeadSize bytes at `head`; false when a length is beyond
// kMaxFrame.
bool DecodeCallHead(const std::uint8_t* head, CallHead* call);

// Answers one call to `device`, taking the world's lock for it.
DeviceReply AnswerDeviceCall(World& world, const std::string& device, const CallHead& call,
                             const Bytes& request);

// The reply frame: its head and the reply bytes.
std::vector<std::uint8_t> EncodeReplyFrame(const DeviceReply& reply);

}  // namespace kivo::emulator
