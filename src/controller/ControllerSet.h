// ControllerSet: the channel to the Zelka driver (open a controller's device,
// send identify and parameter requests, keep the last failure and its wording)
// and the controller list (Initialise, ControllerCount, ControllerIdAt).
// Reaches the platform only through the PlatformContext it is given.
#pragma once

#include <array>
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
constexpr std::size_t kRequestSize = 544;           // header, id, packet
constexpr std::size_t kParameterRequestSize = 1056;  // with the parameter block

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
};

}  // namespace kivo
