// SystemPlatform: the machine's own clock, host facts, registry and devices,
// gathered into one context.
#include "platform/SystemPlatform.h"

#include "platform/DeviceIo.h"
#include "platform/HostFacts.h"
#include "platform/Registry.h"
#include "platform/ServiceRpc.h"

namespace kivo::platform {

SystemPlatform::SystemPlatform(MessageBoxes& boxes, Launcher& launcher)
    : host(MakeSystemHostFacts()),
      registry(MakeSystemRegistry()),
      device(MakeSocketDeviceIo(DefaultDeviceDirectory())) {
  context.clock = &clock;
  context.host = host.get();
  context.registry = registry.get();
  context.device = device.get();
  context.messageBoxes = &boxes;
  context.launcher = &launcher;
  context.rpcDirectory = DefaultRpcDirectory();
}

SystemPlatform::~SystemPlatform() = default;

}  // namespace kivo::platform
