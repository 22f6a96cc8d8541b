// ControllerSet: the device channel to the Zelka driver and the controller
// list. Every platform call goes through the PlatformContext.
#include "controller/ControllerSet.h"

#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/DeviceIo.h"
#include "platform/HostFacts.h"
#include "platform/LastError.h"
#include "platform/SystemMessage.h"

namespace kivo {
namespace {

using namespace request;

constexpr std::uint32_t kRequestTimeout = 60;
constexpr int kIdentifyAttempts = 10;
constexpr std::uint32_t kIdentifyPauseMs = 500;
constexpr std::uint32_t kNeutralLanguage = 0x400;
constexpr platform::DWORD kInvalidReply = platform::ERROR_INVALID_DATA;

// Copies a NUL-terminated text of at most `limit` - 1 characters taken from
// at most `available` source bytes, and always terminates it. The bound on
// the source keeps a reply without a terminator from being read past its end.
void CopyText(char* destination, const std::uint8_t* source, std::size_t available, std::size_t limit) {
  std::size_t n = 0;
  while (n + 1 < limit && n < available && source[n] != 0) {
    destination[n] = static_cast<char>(source[n]);
    ++n;
  }
  destination[n] = '\0';
}

}  // namespace

ControllerSet::ControllerSet(const platform::PlatformContext& context) : context_(context) {}

ControllerSet::~ControllerSet() = default;

void ControllerSet::ClearStatus() {
  statusCode_ = 0;
  systemError_ = 0;
  packetStatus_ = 0;
}

int ControllerSet::SendRequest(std::uint8_t* buffer, std::uint32_t size, std::uint32_t timeout) {
  ClearStatus();
  if (buffer == nullptr || size < kPacketOffset || context_.device == nullptr) {
    statusCode_ = kStatusSendFailed;
    systemError_ = platform::ERROR_INVALID_PARAMETER;
    return -1;
  }
  PutU32(buffer, static_cast<std::uint32_t>(kHeaderLength));
  std::memcpy(buffer + kSignatureOffset, kSignature.data(), kSignature.size());
  PutU32(buffer + kTimeoutOffset, timeout);
  PutU32(buffer + kControlCodeOffset, 0);
  PutU32(buffer + kReturnCodeOffset, 0);
  PutU32(buffer + kLengthOffset, size - static_cast<std::uint32_t>(kHeaderLength));
  PutU32(buffer + kIdOffset, static_cast<std::uint32_t>(scsiId_));
  DWORD returned = 0;
  if (!context_.device->DeviceIoControl(deviceHandle_, platform::IOCTL_SCSI_MINIPORT, buffer, size, buffer,
                                        size, &returned, nullptr)) {
    statusCode_ = kStatusSendFailed;
    systemError_ = platform::GetLastError();
    if (failedCalls_++ == 0) firstCallError_ = systemError_;
    return -1;
  }
  return 0;
}

int ControllerSet::QueryDriver() {
  ClearStatus();
  driverText_[0] = '\0';
  std::array<std::uint8_t, kRequestSize> request{};
  request[kPacketOffset] = kOpcodeIdentify;
  if (SendRequest(request.data(), kRequestSize, kRequestTimeout) != 0) return -1;
  CopyText(driverText_.data(), request.data() + kPacketOffset + kDriverTextOffset,
           kPacketSize - kDriverTextOffset, driverText_.size() - 1);
  return 0;
}

int ControllerSet::GetParameter(std::uint16_t tableId, std::uint8_t parameterId, std::uint8_t size, void* out,
                                std::uint8_t unit) {
  ClearStatus();
  std::array<std::uint8_t, kParameterRequestSize> request{};
  std::uint8_t* packet = request.data() + kPacketOffset;
  std::uint8_t* block = request.data() + kBlockOffset;
  packet[0] = static_cast<std::uint8_t>(kOpcodeParameter | (2 << 5));
  packet[1] = 2;
  packet[3] = static_cast<std::uint8_t>(unit & 0x0F);
  PutU16(packet + 6, 1);
  PutU16(block + kBlockTable, tableId);
  block[kBlockParameter] = parameterId;
  block[kBlockSizeField] = size;
  if (SendRequest(request.data(), kParameterRequestSize, kRequestTimeout) != 0) return -1;
  if (packet[kPacketStatus] != 0) {
    packetStatus_ = packet[kPacketStatus];
    statusCode_ = kStatusPacketStatus;
    return -1;
  }
  if (out != nullptr) std::memcpy(out, block + kBlockData, size);
  return 0;
}

int ControllerSet::Open(int scsiId) {
  ClearStatus();
  failedCalls_ = 0;
  firstCallError_ = 0;
  platform::OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (context_.host == nullptr || !context_.host->GetVersionExA(&version)) {
    statusCode_ = kStatusVersionFailed;
    systemError_ = context_.host ? platform::GetLastError() : platform::ERROR_INVALID_FUNCTION;
    return -1;
  }
  const bool portDevices = platform::UsesPortDevices(version.dwPlatformId);
  char name[32];
  if (portDevices) {
    std::snprintf(name, sizeof(name), "\\\\.\\Scsi%d:", scsiId);
  } else {
    std::snprintf(name, sizeof(name), "\\\\.\\ZELKAVSD");
  }
  scsiId_ = scsiId;
  if (context_.device == nullptr) {
    statusCode_ = kStatusOpenFailed;
    systemError_ = platform::ERROR_FILE_NOT_FOUND;
    return -1;
  }
  // A second Open without Close would lose the first handle for good.
  if (IsOpen()) context_.device->CloseHandle(deviceHandle_);
  deviceHandle_ =
      context_.device->CreateFileA(name, platform::GENERIC_READ | platform::GENERIC_WRITE,
                                   platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, nullptr,
                                   platform::OPEN_EXISTING, platform::FILE_ATTRIBUTE_NORMAL, 0);
  if (deviceHandle_ == platform::INVALID_HANDLE_VALUE) {
    statusCode_ = kStatusOpenFailed;
    systemError_ = platform::GetLastError();
    return -1;
  }

  if (!portDevices) {
    std::array<std::uint8_t, kHandshakeSize> handshake{};
    std::memcpy(handshake.data(), "VSD", 4);
    PutU16(handshake.data() + kHandshakeLengthOffset, static_cast<std::uint16_t>(kHandshakeSize));
    DWORD returned = 0;
    const bool answered = context_.device->DeviceIoControl(deviceHandle_, platform::VSD_HANDSHAKE_CODE,
                                                           handshake.data(), kHandshakeSize, handshake.data(),
                                                           kHandshakeSize, &returned, nullptr);
    // The error of the failed call itself; a reply that is not a handshake
    // is invalid data (the last error would be left over from elsewhere).
    const DWORD error = answered ? kInvalidReply : platform::GetLastError();
    if (!answered || std::memcmp(handshake.data(), "VSD", 4) != 0 ||
        GetU16(handshake.data() + kHandshakeLengthOffset) < kHandshakeSize) {
      context_.device->CloseHandle(deviceHandle_);
      deviceHandle_ = platform::INVALID_HANDLE_VALUE;
      systemError_ = error;
      statusCode_ = kStatusHandshakeFailed;
      vsdText_[0] = '\0';
      return -1;
    }
    if (static_cast<std::uint32_t>(scsiId_) >= GetU32(handshake.data() + kHandshakeCountOffset)) {
      Close();
      systemError_ = platform::ERROR_ACCESS_DENIED;
      statusCode_ = kStatusIdNotServed;
      return -1;
    }
    // Only the handshake's own 44 text bytes are read. The bounded copy
    // cannot fail, so kStatusVsdTextFailed never arises here.
    CopyText(vsdText_.data(), handshake.data() + kHandshakeTextOffset, kHandshakeTextSize,
             vsdText_.size() - 1);
  }

  std::array<std::uint8_t, kRequestSize> identify{};
  identify[kPacketOffset] = kOpcodeIdentify;
  identify[kPacketOffset + 2] = 1;
  const std::uint8_t* packet = identify.data() + kPacketOffset;
  for (int attempt = 0; attempt < kIdentifyAttempts; ++attempt) {
    if (SendRequest(identify.data(), kRequestSize, kRequestTimeout) != 0) {
      const DWORD error = systemError_;
      Close();
      statusCode_ = kStatusSendFailed;
      systemError_ = error;
      return -1;
    }
    interfaceLevel_ = GetU16(packet + kLevelOffset);
    interfaceExtra_ = GetU32(packet + kExtraOffset);
    if (interfaceLevel_ != 0 || interfaceExtra_ != 0) return 0;
    if (context_.clock != nullptr) context_.clock->Sleep(kIdentifyPauseMs);
  }
  return 0;
}

int ControllerSet::Close() {
  ClearStatus();
  int result = 0;
  if (context_.device == nullptr || !context_.device->CloseHandle(deviceHandle_)) {
    statusCode_ = kStatusCloseFailed;
    systemError_ = context_.device ? platform::GetLastError() : platform::ERROR_INVALID_HANDLE;
    result = -1;
  }
  deviceHandle_ = platform::INVALID_HANDLE_VALUE;
  return result;
}

const char* ControllerSet::ErrorText() {
  if (packetStatus_ != 0) {
    std::snprintf(errorText_.data(), errorText_.size(), "Command packet status 0x%x", packetStatus_);
    return errorText_.data();
  }
  DWORD n = platform::FormatMessageA(platform::FORMAT_MESSAGE_FROM_SYSTEM, systemError_, kNeutralLanguage,
                                     errorText_.data(), static_cast<DWORD>(errorText_.size() - 1));
  if (n >= errorText_.size()) n = 0;
  if (n == 0) errorText_[0] = '\0';
  AppendErrorCode(errorText_, n, systemError_);
  return errorText_.data();
}

void AppendErrorCode(std::array<char, 128>& text, DWORD written, DWORD code) {
  if (written >= text.size() || text.size() - written <= 30) return;
  std::snprintf(text.data() + written, text.size() - written, "(error code %lu)",
                static_cast<unsigned long>(code));
}

int ControllerSet::Initialise() {
  ClearStatus();
  controllerCount_ = 0;
  for (int id = 0; id < kMaxControllers; ++id) {
    if (Open(id) != 0) continue;
    if (QueryDriver() == 0 && controllerCount_ < kMaxControllers) {
      controllerIds_[static_cast<std::size_t>(controllerCount_++)] = id;
    }
    Close();
  }
  return 0;
}

int ControllerSet::ControllerIdAt(int index) const {
  if (index < 0 || index >= controllerCount_) return -1;
  return controllerIds_[static_cast<std::size_t>(index)];
}

}  // namespace kivo
