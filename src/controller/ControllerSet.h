// ControllerSet: the channel to the Zelka driver (open a controller's device,
// send identify and parameter requests, keep the last failure and its wording)
// and the controller list (Initialise, ControllerCount, ControllerIdAt).
// Reaches the platform only through the PlatformContext it is given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/PlatformContext.h"
#include "platform/Win32Types.h"

namespace kivo {

using platform::DWORD;
using platform::HANDLE;

// Library status codes (statusCode); messages print them with "%x".
constexpr std::uint32_t kStatusCloseFailed = 0xAD001;
constexpr std::uint32_t kStatusSendFailed = 0xAD002;
constexpr std::uint32_t kStatusDriverTextFailed = 0xAD004;
constexpr std::uint32_t kStatusPacketStatus = 0xAD005;
constexpr std::uint32_t kStatusVersionFailed = 0xAD007;
constexpr std::uint32_t kStatusOpenFailed = 0xAD008;
constexpr std::uint32_t kStatusHandshakeFailed = 0xAD009;
constexpr std::uint32_t kStatusIdNotServed = 0xAD010;
constexpr std::uint32_t kStatusVsdTextFailed = 0xAD013;

constexpr int kMaxControllers = 12;
constexpr std::size_t kRequestSize = 544;            // header, id, packet
constexpr std::size_t kParameterRequestSize = 1056;  // with the parameter block

// The driver's request formats. One buffer carries a request in and its reply
// out; every number is little-endian.
//
// Request (544 bytes, or 1056 with the parameter block):
//   offset size  content
//   0      4     header length, 28
//   4      8     signature "Zelka", two blanks, one zero byte
//   12     4     timeout in seconds (60)
//   16     4     control code, 0
//   20     4     return code, 0 (not read back)
//   24     4     length: request size - 28 (516 or 1028)
//   28     4     SCSI id of the controller
//   32     512   command packet
//   544    512   parameter block (parameter requests only)
//
// Command packet (offsets within the packet):
//   byte 0 bits 0-4 opcode (0x12 parameter, 0x1D identify), bits 5-7 a 3-bit
//   field (2 in parameter requests); byte 1 size field (2 in parameter
//   requests); byte 2 request number (1 for the identify requests sent while
//   opening); byte 3 bits 0-3 unit; byte 4 status, nonzero when the command
//   failed; bytes 6-7 count field (1 in parameter requests).
//   Identify reply: 8..49 driver text NUL-terminated, 50 u16 interface level,
//   52 u32 companion value.
//
// Parameter block: 0 u16 table id, 2 parameter id, 3 size (1..255),
//   4.. the parameter's bytes returned by the controller.
//
// Virtual-device handshake (58 bytes, control code 0xBABE0000):
//   0 "VSD" and a zero byte (request and reply), 4 u16 length (58; a reply
//   must give 58 or more), 6..49 the device's version text (44 bytes), 50 u32
//   number of controllers served, 54 u32 not used.
namespace request {

constexpr std::size_t kHeaderLength = 28;
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kTimeoutOffset = 12;
constexpr std::size_t kControlCodeOffset = 16;
constexpr std::size_t kReturnCodeOffset = 20;
constexpr std::size_t kLengthOffset = 24;
constexpr std::size_t kIdOffset = 28;
constexpr std::size_t kPacketOffset = 32;
constexpr std::size_t kPacketSize = 512;
constexpr std::size_t kBlockOffset = 544;
constexpr std::size_t kBlockSize = 512;
constexpr std::array<std::uint8_t, 8> kSignature = {'Z', 'e', 'l', 'k', 'a', ' ', ' ', 0};

constexpr std::uint8_t kOpcodeParameter = 0x12;
constexpr std::uint8_t kOpcodeIdentify = 0x1D;
constexpr std::size_t kPacketStatus = 4;
constexpr std::size_t kDriverTextOffset = 8;
constexpr std::size_t kDriverTextSize = 42;
constexpr std::size_t kLevelOffset = 50;
constexpr std::size_t kExtraOffset = 52;

constexpr std::size_t kBlockTable = 0;
constexpr std::size_t kBlockParameter = 2;
constexpr std::size_t kBlockSizeField = 3;
constexpr std::size_t kBlockData = 4;

constexpr std::size_t kHandshakeSize = 58;
constexpr std::size_t kHandshakeLengthOffset = 4;
constexpr std::size_t kHandshakeTextOffset = 6;
constexpr std::size_t kHandshakeTextSize = 44;
constexpr std::size_t kHandshakeCountOffset = 50;

inline void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline std::uint16_t GetU16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace request

// The tail ErrorText puts after a system message of `written` characters in
// its 128-character buffer: "(error code %lu)" directly after the message
// when more than 30 characters are left (written at most 97), else nothing.
void AppendErrorCode(std::array<char, 128>& text, DWORD written, DWORD code);

class ControllerSet {
 public:
  explicit ControllerSet(const platform::PlatformContext& context);
  virtual ~ControllerSet();  // releases nothing: an open device stays open
  ControllerSet(const ControllerSet&) = delete;
  ControllerSet& operator=(const ControllerSet&) = delete;

  // Channel. Each returns 0 on success and -1 on failure, and begins with
  // ClearStatus.
  int Open(int scsiId);
  int Close();
  int SendRequest(std::uint8_t* buffer, std::uint32_t size, std::uint32_t timeout);
  int QueryDriver();
  int GetParameter(std::uint16_t tableId, std::uint8_t parameterId, std::uint8_t size, void* out,
                   std::uint8_t unit = 0);
  void ClearStatus();

  const char* ErrorText();
  std::uint32_t LastStatus() const { return statusCode_; }
  DWORD SystemError() const { return systemError_; }
  std::uint8_t PacketStatus() const { return packetStatus_; }
  const char* DriverText() const { return driverText_.data(); }
  const char* VsdText() const { return vsdText_.data(); }
  void DriverLevel(std::uint32_t* level, std::uint32_t* extra) const {
    *level = interfaceLevel_;
    *extra = interfaceExtra_;
  }
  int ScsiId() const { return scsiId_; }
  // Requests whose device-control call failed with a system error since the
  // last Open (a dropped connection, a driver that stopped answering), and
  // the error of the first; a packet status is an answer and not counted.
  int FailedCalls() const { return failedCalls_; }
  DWORD FirstCallError() const { return firstCallError_; }
  bool IsOpen() const { return deviceHandle_ != platform::INVALID_HANDLE_VALUE; }

  // List. Initialise always returns 0.
  int Initialise();
  int ControllerCount() const { return controllerCount_; }
  int ControllerIdAt(int index) const;

  const platform::PlatformContext& Context() const { return context_; }

 private:
  platform::PlatformContext context_;
  int scsiId_ = 0;
  HANDLE deviceHandle_ = platform::INVALID_HANDLE_VALUE;
  DWORD systemError_ = 0;
  std::uint8_t packetStatus_ = 0;
  std::uint32_t interfaceLevel_ = 0;
  std::uint32_t interfaceExtra_ = 0;
  int controllerCount_ = 0;
  std::array<int, kMaxControllers> controllerIds_{};
  std::array<char, 128> driverText_{};
  std::array<char, 128> vsdText_{};
  std::array<char, 128> errorText_{};
  std::uint32_t statusCode_ = 0;
  int failedCalls_ = 0;
  DWORD firstCallError_ = 0;
};

}  // namespace kivo
