// Fuzz target of the emulator's alarms page server: any request head gets one
// whole HTTP/1.0 response (the page, 400, 404 or 405), never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "emulator/AlarmsPage.h"
#include "emulator/World.h"
#include "emulator/WorldEvents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kivo::emulator;
  static World* world = [] {
    auto* built = new World;
    BuildDefaultWorld(*built);
    return built;
  }();
  const std::string head(reinterpret_cast<const char*>(data), size);
  const std::string response = AnswerHttpRequest(head, *world);
  if (response.rfind("HTTP/1.0 ", 0) != 0 || response.find("\r\n\r\n") == std::string::npos) std::abort();
  return 0;
}
