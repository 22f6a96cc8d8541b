// The socket implementation of DeviceIo: "\\.\NAME" is the Unix-domain stream
// socket NAME in a device directory, one connection per handle. Built by the
// programs through MakeSocketDeviceIo (platform/DeviceIo.h).
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/DeviceIo.h"

namespace kivo::platform {

// How long a device-control call waits for its reply. The driver answers at
// once; a driver that does not answer must cost a report seconds, not the
// minute a request allows the controller itself.
constexpr std::chrono::milliseconds kDeviceReplyWait{4000};
// The wait of every call to a device that has already missed a reply, until
// it answers one in time again: a hung driver is met again by each probe of
// the controller list.
constexpr std::chrono::milliseconds kLateDeviceReplyWait{500};

// As MakeSocketDeviceIo, with other reply waits. A call whose reply does not
// come in time fails with ERROR_GEN_FAILURE (31) and its connection is
// dropped (later calls on the handle give 1167).
std::unique_ptr<DeviceIo> MakeSocketDeviceIo(const std::string& directory,
                                             std::chrono::milliseconds replyWait,
                                             std::chrono::milliseconds lateReplyWait = kLateDeviceReplyWait);

}  // namespace kivo::platform
