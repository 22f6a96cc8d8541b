// Fuzz target of the emulator's control commands: each input line is one
// command, split into words as the control socket splits them, carried out in
// turn on a fresh built-in machine. Every command is done or refused with a
// text, and the changed machine still answers its alarms page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/AlarmsText.h"
#include "emulator/ControlCommand.h"
#include "emulator/ControlProtocol.h"
#include "emulator/World.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kivo::emulator;
  World world;
  BuildDefaultWorld(world);
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (int commands = 0; start <= text.size() && commands < 64; ++commands) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const ControlReply reply =
        RunControlCommand(world, nullptr, SplitControlWords(text.substr(start, end - start)));
    if (reply.text.empty() || reply.text.back() != '\n') std::abort();
    start = end + 1;
  }
  std::lock_guard lock(world.mutex);
  for (const Controller& controller : world.controllers) {
    if (controller.notifications.size() > 64) std::abort();  // the queue is bounded
  }
  if (RenderAlarmsPage(world).empty()) std::abort();
  return 0;
}
