// SystemPlatform: the running machine's platform objects (clock, host facts,
// registry, controller devices) and the context pointing at them, as every
// program builds them at start-up; the program brings its boxes and launcher.
#pragma once

#include <memory>

#include "platform/Clock.h"
#include "platform/PlatformContext.h"

namespace kivo::platform {

struct SystemPlatform {
  // boxes and launcher must outlive this object.
  SystemPlatform(MessageBoxes& boxes, Launcher& launcher);
  ~SystemPlatform();
  SystemPlatform(const SystemPlatform&) = delete;
  SystemPlatform& operator=(const SystemPlatform&) = delete;

  SystemClock clock;
  std::unique_ptr<HostFacts> host;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<DeviceIo> device;
  // clock: the system clock; rpcDirectory: DefaultRpcDirectory().
  PlatformContext context;
};

}  // namespace kivo::platform
