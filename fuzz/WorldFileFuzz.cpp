// Fuzz target of the emulator's world file reader: any text either is refused
// with one "NAME:LINE: REASON" line, or gives a machine the emulator can
// serve (ports in range, no port twice) and whose alarms page renders.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "emulator/AlarmsPage.h"
#include "emulator/World.h"
#include "emulator/WorldFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kivo::emulator;
  const std::string text(reinterpret_cast<const char*>(data), size);
  World world;
  std::string error;
  if (!LoadWorldText(text, "w.json", world, &error)) {
    if (error.rfind("w.json:", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  std::set<int> ports;
  for (const Controller& controller : world.controllers) {
    if (controller.scsiId < 0 || controller.scsiId > 11 || !ports.insert(controller.scsiId).second)
      std::abort();
  }
  std::lock_guard lock(world.mutex);
  const std::string page = RenderAlarmsPage(world);
  if (page.empty()) std::abort();
  for (const std::string& device : DeviceNames(world)) OpenDevice(world, device);
  return 0;
}
