// The platform objects a core class needs, handed in by whoever builds it (the
// programs build the real ones, tests their doubles). Not owned here.
#pragma once

#include <string>

namespace kivo::platform {

class Clock;
class DeviceIo;
class HostFacts;
class Launcher;
class MessageBoxes;
class Registry;

struct PlatformContext {
  Clock* clock = nullptr;
  HostFacts* host = nullptr;
  Registry* registry = nullptr;
  DeviceIo* device = nullptr;
  MessageBoxes* messageBoxes = nullptr;
  Launcher* launcher = nullptr;
  // Directory of the local RPC endpoints ($KIVO_RPC_DIR).
  std::string rpcDirectory;
};

}  // namespace kivo::platform
