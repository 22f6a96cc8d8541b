// DeviceServer on Windows: serves a World's devices on named pipes under a
// prefix (PREFIX + "Scsi<id>:" per controller, or PREFIX + "ZELKAVSD"), one
// thread per connection, with the framing of platform/DeviceIo.h. Used by
// zelka-emulator.exe; the utility reaches the pipes through KIVO_DEVICE_PIPE.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "emulator/World.h"
#include "emulator/win32/PipeServer.h"

namespace kivo::emulator {

class DeviceServer {
 public:
  // The world must outlive the server; `prefix` is e.g. "\\.\pipe\zelka\".
  DeviceServer(World& world, std::string prefix);
  ~DeviceServer();
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  // One pipe per device the world presents. A device with open fault 2 gets
  // no pipe; one with any other open fault gets a pipe that refuses its
  // clients. False with *error set when a pipe cannot be made.
  bool Start(std::string* error);
  // Ends every connection (clients then see the device go away) and removes
  // the pipes. Called by the destructor too.
  void Stop();

 private:
  void Serve(const std::string& device, PipeConnection& connection);

  World& world_;
  const std::string prefix_;
  std::vector<std::unique_ptr<PipeServer>> pipes_;
};

// "\\.\pipe\zelka\" unless $KIVO_DEVICE_PIPE names another prefix.
std::string DefaultPipePrefix();

}  // namespace kivo::emulator
