// InProcessDeviceIo: device calls answered by HandleDeviceCall under the
// world's lock.
#include "emulator/InProcessDeviceIo.h"

#include <cstring>

#include "platform/LastError.h"

namespace kivo::emulator {

using platform::BOOL;
using platform::DWORD;
using platform::HANDLE;

HANDLE InProcessDeviceIo::CreateFileA(const char* fileName, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  const std::string name = fileName ? fileName : "";
  const std::string prefix = "\\\\.\\";
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) {
    platform::SetLastError(platform::ERROR_FILE_NOT_FOUND);
    return platform::INVALID_HANDLE_VALUE;
  }
  const std::string device = name.substr(prefix.size());
  DWORD error = 0;
  {
    std::lock_guard lock(world_.mutex);
    error = OpenDevice(world_, device);
  }
  if (error != 0) {
    platform::SetLastError(error);
    return platform::INVALID_HANDLE_VALUE;
  }
  std::lock_guard lock(mutex_);
  const HANDLE handle = next_++;
  handles_[handle] = Connection{device, false};
  return handle;
}

BOOL InProcessDeviceIo::DeviceIoControl(HANDLE device, DWORD ioControlCode, void* inBuffer,
                                        DWORD inBufferSize, void* outBuffer, DWORD outBufferSize,
                                        DWORD* bytesReturned, void*) {
  std::string name;
  {
    std::lock_guard lock(mutex_);
    auto found = handles_.find(device);
    if (found == handles_.end()) {
      platform::SetLastError(platform::ERROR_INVALID_HANDLE);
      return platform::FALSE;
    }
    if (found->second.dropped) {
      platform::SetLastError(platform::ERROR_DEVICE_NOT_CONNECTED);
      return platform::FALSE;
    }
    name = found->second.device;
  }
  Bytes input(inBufferSize);
  if (inBufferSize > 0 && inBuffer != nullptr) std::memcpy(input.data(), inBuffer, inBufferSize);
  const DeviceReply reply = AnswerDeviceCall(world_, name, ioControlCode, input, outBufferSize);
  if (reply.disconnect || reply.silent) {
    // A silent device fails as the socket device does when its reply wait
    // runs out: error 31, and the connection is given up.
    std::lock_guard lock(mutex_);
    if (auto found = handles_.find(device); found != handles_.end()) found->second.dropped = true;
    platform::SetLastError(reply.silent ? platform::ERROR_GEN_FAILURE : platform::ERROR_DEVICE_NOT_CONNECTED);
    return platform::FALSE;
  }
  if (reply.error != 0) {
    platform::SetLastError(reply.error);
    return platform::FALSE;
  }
  if (reply.bytes.size() != outBufferSize) {
    platform::SetLastError(platform::ERROR_BAD_LENGTH);
    return platform::FALSE;
  }
  if (outBufferSize > 0 && outBuffer != nullptr) std::memcpy(outBuffer, reply.bytes.data(), outBufferSize);
  if (bytesReturned != nullptr) *bytesReturned = outBufferSize;
  return platform::TRUE;
}

BOOL InProcessDeviceIo::CloseHandle(HANDLE object) {
  std::lock_guard lock(mutex_);
  if (handles_.erase(object) == 0) {
    platform::SetLastError(platform::ERROR_INVALID_HANDLE);
    return platform::FALSE;
  }
  return platform::TRUE;
}

int InProcessDeviceIo::OpenHandles() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(handles_.size());
}

}  // namespace kivo::emulator
