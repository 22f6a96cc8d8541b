// DeviceServer on named pipes: each frame is answered with HandleDeviceCall
// under the world's lock, as on Linux.
#include "emulator/win32/DeviceServer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/Win32Types.h"

namespace kivo::emulator {
namespace {

constexpr std::uint32_t kMaxFrame = 1u << 20;

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t GetU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

std::string DefaultPipePrefix() {
  const char* prefix = std::getenv("KIVO_DEVICE_PIPE");
  return prefix != nullptr && prefix[0] != '\0' ? prefix : "\\\\.\\pipe\\zelka\\";
}

DeviceServer::DeviceServer(World& world, std::string prefix) : world_(world), prefix_(std::move(prefix)) {}

DeviceServer::~DeviceServer() {
  Stop();
}

bool DeviceServer::Start(std::string* error) {
  if (!pipes_.empty()) return true;
  std::vector<std::pair<std::string, std::uint32_t>> devices;
  {
    std::lock_guard lock(world_.mutex);
    for (const std::string& name : DeviceNames(world_)) devices.emplace_back(name, OpenDevice(world_, name));
  }
  for (const auto& [device, openError] : devices) {
    if (openError == platform::ERROR_FILE_NOT_FOUND) continue;
    auto pipe = std::make_unique<PipeServer>(
        prefix_ + device, [this, device](PipeConnection& connection) { Serve(device, connection); },
        openError != 0);
    if (!pipe->Start(error)) {
      Stop();
      return false;
    }
    pipes_.push_back(std::move(pipe));
  }
  return true;
}

void DeviceServer::Stop() {
  for (auto& pipe : pipes_) pipe->Stop();
  pipes_.clear();
}

void DeviceServer::Serve(const std::string& device, PipeConnection& connection) {
  for (;;) {
    std::uint8_t head[12];
    if (!connection.ReadExactly(head, sizeof(head))) return;
    const std::uint32_t code = GetU32(head);
    const std::uint32_t inLength = GetU32(head + 4);
    const std::uint32_t outLength = GetU32(head + 8);
    if (inLength > kMaxFrame || outLength > kMaxFrame) return;
    Bytes request(inLength);
    if (inLength > 0 && !connection.ReadExactly(request.data(), request.size())) return;
    DeviceReply reply;
    {
      std::lock_guard lock(world_.mutex);
      reply = HandleDeviceCall(world_, device, code, request, outLength);
    }
    if (reply.disconnect) return;
    std::vector<std::uint8_t> output(8 + reply.bytes.size());
    PutU32(output.data(), reply.error);
    PutU32(output.data() + 4, static_cast<std::uint32_t>(reply.bytes.size()));
    if (!reply.bytes.empty()) std::memcpy(output.data() + 8, reply.bytes.data(), reply.bytes.size());
    if (!connection.WriteAll(output.data(), output.size())) return;
  }
}

}  // namespace kivo::emulator
