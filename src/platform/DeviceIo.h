// Device I/O seam: CreateFileA / DeviceIoControl / CloseHandle. The socket
// implementation reaches each device "\\.\NAME" as the Unix-domain stream
// socket NAME in the device directory.
//
// Wire format of one device-control call on the socket (all little-endian;
// platform/DeviceFrame.h writes and reads it):
//   request : u32 control code | u32 input length | u32 output length | input bytes
//   reply   : u32 Win32 error  | u32 reply length | reply bytes
// Error 0 means success; the reply bytes then replace the output buffer and
// must be exactly `output length` long (any other length fails the call with
// ERROR_BAD_LENGTH). A nonzero error fails the call with that last error and
// the output buffer untouched.
#pragma once

#include <memory>
#include <string>

#include "platform/Win32Types.h"

namespace kivo::platform {

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD FILE_SHARE_WRITE = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD IOCTL_SCSI_MINIPORT = 0x0004D008;
constexpr DWORD VSD_HANDSHAKE_CODE = 0xBABE0000u;

class DeviceIo {
 public:
  virtual ~DeviceIo() = default;
  // INVALID_HANDLE_VALUE with the last error set on failure: 2 when the device
  // does not exist, 5 when it refuses the connection.
  virtual HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                             void* securityAttributes, DWORD creationDisposition, DWORD flagsAndAttributes,
                             HANDLE templateFile) = 0;
  // FALSE with the last error set on failure; 1167 when the device went away
  // during the call.
  virtual BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, void* inBuffer, DWORD inBufferSize,
                               void* outBuffer, DWORD outBufferSize, DWORD* bytesReturned,
                               void* overlapped) = 0;
  virtual BOOL CloseHandle(HANDLE object) = 0;
};

// Linux: $KIVO_DEVICE_DIR, else $XDG_RUNTIME_DIR/zelka, else /tmp/zelka-$UID.
// Windows: the named-pipe prefix in $KIVO_DEVICE_PIPE (e.g. "\\.\pipe\zelka\"),
// else "" for the system's own devices.
std::string DefaultDeviceDirectory();

// Where a scan that found no device looked and how to name another place, to
// follow "no controller found"; "" where the system's own devices are used.
std::string DeviceLocationHint(const std::string& directory);

// The devices of this machine as DefaultDeviceDirectory() names their home:
// Unix-domain sockets in that directory on Linux; on Windows the system's
// devices, or the named pipes under that prefix when it is not empty.
std::unique_ptr<DeviceIo> MakeSocketDeviceIo(const std::string& directory);

}  // namespace kivo::platform
