// The socket implementation of DeviceIo: "\\.\NAME" is the Unix-domain stream
// socket NAME in a device directory, one connection per handle. Built by the
// programs through MakeSocketDeviceIo (platform/DeviceIo.h).
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/DeviceIo.h"

namespace kivo::platform {

// How long a device-control call waits for its reply: past the 60 seconds a
// request allows its device.
constexpr std::chrono::milliseconds kDeviceReplyWait{70000};

// As MakeSocketDeviceIo, with another reply wait. A call whose reply does not
// come in time fails with ERROR_GEN_FAILURE (31) and its connection is
// dropped (later calls on the handle give 1167).
std::unique_ptr<DeviceIo> MakeSocketDeviceIo(const std::string& directory,
                                             std::chrono::milliseconds replyWait);

}  // namespace kivo::platform
