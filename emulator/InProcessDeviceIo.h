// A platform::DeviceIo that answers every call from a World in the calling
// thread, without sockets or processes. For tests and benchmarks of the scan,
// the monitor and the shell.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "emulator/World.h"
#include "platform/DeviceIo.h"

namespace kivo::emulator {

class InProcessDeviceIo : public platform::DeviceIo {
 public:
  // The world must outlive this object.
  explicit InProcessDeviceIo(World& world) : world_(world) {}

  // "\\.\NAME" opens the world's device NAME; a device the world does not
  // have gives error 2, a device with an open fault gives that error.
  platform::HANDLE CreateFileA(const char* fileName, platform::DWORD desiredAccess, platform::DWORD shareMode,
                               void* securityAttributes, platform::DWORD creationDisposition,
                               platform::DWORD flagsAndAttributes, platform::HANDLE templateFile) override;
  // As the socket device: the reply replaces the output buffer only on
  // success; a dropped connection gives 1167 and every later call on the
  // handle gives 1167 too.
  platform::BOOL DeviceIoControl(platform::HANDLE device, platform::DWORD ioControlCode, void* inBuffer,
                                 platform::DWORD inBufferSize, void* outBuffer, platform::DWORD outBufferSize,
                                 platform::DWORD* bytesReturned, void* overlapped) override;
  platform::BOOL CloseHandle(platform::HANDLE object) override;

  // Handles currently open (tests check that nothing is left open).
  int OpenHandles() const;

 private:
  struct Connection {
    std::string device;
    bool dropped = false;
  };

  World& world_;
  mutable std::mutex mutex_;  // guards handles_ and next_
  std::map<platform::HANDLE, Connection> handles_;
  platform::HANDLE next_ = 1;
};

}  // namespace kivo::emulator
