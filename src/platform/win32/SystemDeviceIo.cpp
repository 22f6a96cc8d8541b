// DeviceIo on Windows. Without a pipe prefix the calls are the system's:
// CreateFileA on "\\.\Scsi%d:" or "\\.\ZELKAVSD", DeviceIoControl and
// CloseHandle. With KIVO_DEVICE_PIPE (tests and demonstrations, where there is
// no driver) "\\.\NAME" is the named pipe PREFIX + NAME, and each
// device-control call is one framed exchange as in platform/DeviceIo.h.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/DeviceFrame.h"
#include "platform/DeviceIo.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace kivo::platform {
namespace {

// How long CreateFileA waits for a pipe instance that is busy.
constexpr ::DWORD kBusyWaitMs = 5000;

bool WriteAll(::HANDLE pipe, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ::DWORD written = 0;
    if (!::WriteFile(pipe, data, static_cast<::DWORD>(size), &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

bool ReadAll(::HANDLE pipe, std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ::DWORD got = 0;
    if (!::ReadFile(pipe, data, static_cast<::DWORD>(size), &got, nullptr) || got == 0) return false;
    data += got;
    size -= got;
  }
  return true;
}

::HANDLE ToSystem(HANDLE handle) {
  return reinterpret_cast<::HANDLE>(handle);
}

// Inside this namespace INVALID_HANDLE_VALUE is the core's (the macro names
// HANDLE unqualified); the system's value, spelled out.
const ::HANDLE kSystemInvalidHandle = reinterpret_cast<::HANDLE>(static_cast<std::intptr_t>(-1));

class SystemDeviceIo : public DeviceIo {
 public:
  explicit SystemDeviceIo(std::string pipePrefix) : pipePrefix_(std::move(pipePrefix)) {}

  HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                     DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) override {
    if (pipePrefix_.empty()) {
      return reinterpret_cast<HANDLE>(::CreateFileA(
          fileName, desiredAccess, shareMode, static_cast<::SECURITY_ATTRIBUTES*>(securityAttributes),
          creationDisposition, flagsAndAttributes, ToSystem(templateFile)));
    }
    const std::string prefix = "\\\\.\\";
    const std::string name = fileName != nullptr ? fileName : "";
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size() ||
        name.find_first_of("/\\", prefix.size()) != std::string::npos) {
      ::SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    const std::string path = pipePrefix_ + name.substr(prefix.size());
    for (;;) {
      ::HANDLE pipe =
          ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (pipe != kSystemInvalidHandle) return reinterpret_cast<HANDLE>(pipe);
      // Every instance taken: wait for one, as a second opener of a device
      // waits for the driver.
      if (::GetLastError() != ERROR_PIPE_BUSY || !::WaitNamedPipeA(path.c_str(), kBusyWaitMs)) {
        if (::GetLastError() == ERROR_SEM_TIMEOUT) ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
      }
    }
  }

  BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, void* inBuffer, DWORD inBufferSize,
                       void* outBuffer, DWORD outBufferSize, DWORD* bytesReturned,
                       void* overlapped) override {
    if (pipePrefix_.empty()) {
      ::DWORD returned = 0;
      const BOOL done = ::DeviceIoControl(ToSystem(device), ioControlCode, inBuffer, inBufferSize, outBuffer,
                                          outBufferSize, &returned, static_cast<::OVERLAPPED*>(overlapped));
      if (done && bytesReturned != nullptr) *bytesReturned = returned;
      return done;
    }
    if (inBuffer == nullptr) inBufferSize = 0;
    // The input is copied into the frame first: input and output are often
    // the same buffer.
    const std::vector<std::uint8_t> frame = EncodeCallFrame(
        ioControlCode, {static_cast<const std::uint8_t*>(inBuffer), inBufferSize}, outBufferSize);
    ::HANDLE pipe = ToSystem(device);
    std::uint8_t head[kReplyHeadSize];
    if (!WriteAll(pipe, frame.data(), frame.size()) || !ReadAll(pipe, head, sizeof(head))) {
      return Lost();
    }
    ReplyHead answer;
    // A longer reply is not a device's answer: the pipe is dropped.
    if (!DecodeReplyHead(head, &answer)) return Lost();
    const ::DWORD error = answer.error;
    const std::uint32_t length = answer.length;
    std::vector<std::uint8_t> reply(length);
    if (!ReadAll(pipe, reply.data(), reply.size())) return Lost();
    if (error != 0) {
      ::SetLastError(error);
      return FALSE;
    }
    if (length != outBufferSize || (length > 0 && outBuffer == nullptr)) {
      ::SetLastError(ERROR_BAD_LENGTH);
      return FALSE;
    }
    if (length > 0) std::memcpy(outBuffer, reply.data(), length);
    if (bytesReturned != nullptr) *bytesReturned = length;
    return TRUE;
  }

  BOOL CloseHandle(HANDLE object) override { return ::CloseHandle(ToSystem(object)); }

 private:
  // The emulator went away in the middle of a call, as a device that is
  // removed does.
  static BOOL Lost() {
    ::SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }

  const std::string pipePrefix_;
};

}  // namespace

// The pipe prefix ($KIVO_DEVICE_PIPE, e.g. "\\.\pipe\zelka\"), or "" for the
// system's devices.
std::string DefaultDeviceDirectory() {
  const char* prefix = std::getenv("KIVO_DEVICE_PIPE");
  return prefix != nullptr ? prefix : "";
}

std::string DeviceLocationHint(const std::string& directory) {
  if (directory.empty()) return "";
  return " under " + directory + " (KIVO_DEVICE_PIPE names another pipe prefix)";
}

std::unique_ptr<DeviceIo> MakeSocketDeviceIo(const std::string& directory) {
  return std::make_unique<SystemDeviceIo>(directory);
}

}  // namespace kivo::platform
