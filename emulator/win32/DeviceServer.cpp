// DeviceServer on named pipes: each frame is answered with HandleDeviceCall
// under the world's lock, as on Linux.
#include "emulator/DeviceServer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "emulator/win32/PipeServer.h"
#include "platform/DeviceFrame.h"
#include "platform/Win32Types.h"

namespace kivo::emulator {
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
    std::uint8_t head[platform::kCallHeadSize];
    if (!connection.ReadExactly(head, sizeof(head))) return;
    platform::CallHead call;
    if (!platform::DecodeCallHead(head, &call)) return;
    Bytes request(call.inLength);
    if (call.inLength > 0 && !connection.ReadExactly(request.data(), request.size())) return;
    const DeviceReply reply = AnswerDeviceCall(world_, device, call.code, request, call.outLength);
    if (reply.disconnect) return;
    const std::vector<std::uint8_t> output = platform::EncodeReplyFrame(reply.error, reply.bytes);
    if (!connection.WriteAll(output.data(), output.size())) return;
  }
}

}  // namespace kivo::emulator
