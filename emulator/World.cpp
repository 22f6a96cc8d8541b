// The emulated firmware and driver: answers identify, parameter and
// handshake calls from the World, and the built-in default machine.
#include "emulator/World.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "controller/ControllerSet.h"
#include "platform/DeviceIo.h"
#include "platform/Win32Types.h"

namespace kivo::emulator {
namespace {

using namespace kivo::request;
using platform::ERROR_FILE_NOT_FOUND;
using platform::ERROR_INVALID_FUNCTION;
using platform::ERROR_INVALID_HANDLE;
using platform::ERROR_INVALID_PARAMETER;

constexpr char kVirtualDeviceName[] = "ZELKAVSD";

// "Scsi<id>:" -> id, or -1.
int PortDeviceId(const std::string& name) {
  if (name.size() < 6 || name.compare(0, 4, "Scsi") != 0 || name.back() != ':') return -1;
  int id = 0;
  for (std::size_t i = 4; i + 1 < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || id > 1000) return -1;
    id = id * 10 + (name[i] - '0');
  }
  // "Scsi03:" is not a name the utility opens.
  if (name.size() > 6 && name[4] == '0') return -1;
  return id;
}

Bytes FixedText(const std::string& text, std::size_t size, std::uint8_t pad) {
  Bytes bytes(size, pad);
  std::memcpy(bytes.data(), text.data(), std::min(size, text.size()));
  return bytes;
}

Bytes U16Bytes(std::uint16_t value) {
  Bytes bytes(2);
  PutU16(bytes.data(), value);
  return bytes;
}

Bytes U32Bytes(std::uint32_t value) {
  Bytes bytes(4);
  PutU32(bytes.data(), value);
  return bytes;
}

std::optional<Bytes> ParameterValue(const Controller& controller, std::uint16_t table,
                                    std::uint8_t parameter) {
  if (auto raw = controller.parameters.find({table, parameter}); raw != controller.parameters.end()) {
    return raw->second;
  }
  if (table == 0x402) {
    const VersionTexts& v = controller.versions;
    switch (parameter) {
      case 2:
        return FixedText(v.monitor, 16, 0);
      case 3:
        return FixedText(v.firmware, 16, 0);
      case 4:
        return FixedText(v.bios, 16, 0);
      case 5:
        return FixedText(v.pcba, 8, 0);
      case 6:
        return FixedText(v.aChip, 8, 0);
      case 7:
        return FixedText(v.pChip, 8, 0);
      case 8:
        return FixedText(v.model, 16, 0);
      default:
        return std::nullopt;
    }
  }
  if (table == 2) {
    // Port count and port presence map.
    if (parameter == 2) return U16Bytes(static_cast<std::uint16_t>(controller.drives.size()));
    if (parameter == 3) {
      Bytes map(16, 0);
      for (const Drive& drive : controller.drives) {
        if (drive.port >= 0 && drive.port < 16) map[static_cast<std::size_t>(drive.port)] = 1;
      }
      return map;
    }
    return std::nullopt;
  }
  if (table == 3) {
    if (parameter == 2) {
      return U16Bytes(controller.unitCount ? *controller.unitCount
                                           : static_cast<std::uint16_t>(controller.units.size()));
    }
    if (parameter == 3) {
      Bytes map(16, 0);
      for (const Unit& unit : controller.units) {
        if (unit.number >= 0 && unit.number < kUnitNumbers) map[static_cast<std::size_t>(unit.number)] = 1;
      }
      return map;
    }
    return std::nullopt;
  }
  if (table >= 0x300 && table < 0x300 + kUnitNumbers) {
    const Unit* unit = controller.FindUnit(table - 0x300);
    if (unit == nullptr) return std::nullopt;
    switch (parameter) {
      case 3:
        return Bytes{unit->status};
      case 4:
        return U32Bytes(unit->sectors);
      case 5: {
        if (unit->descriptorSize) return U16Bytes(*unit->descriptorSize);
        return U16Bytes(static_cast<std::uint16_t>(EncodeDescriptor(*unit).size() + 3));
      }
      case 6:
        return EncodeDescriptor(*unit);
      default:
        return std::nullopt;
    }
  }
  if (table >= 0x200 && table < 0x300) {
    const Drive* drive = controller.FindDrive(table - 0x200);
    if (drive == nullptr) return std::nullopt;
    switch (parameter) {
      case 2:
        return U32Bytes(drive->sectors);
      case 3:
        return FixedText(drive->model, 40, ' ');
      case 4:
        return FixedText(drive->serial, 20, 0);
      default:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

// The header a well-formed request carries.
bool HeaderIsValid(const Bytes& input) {
  return GetU32(&input[0]) == kHeaderLength &&
         std::equal(kSignature.begin(), kSignature.end(), input.begin() + kSignatureOffset) &&
         GetU32(&input[kLengthOffset]) == input.size() - kHeaderLength;
}

DeviceReply Failure(std::uint32_t error) {
  return DeviceReply{error, {}, false};
}

DeviceReply Handshake(World& world, const Bytes& input, std::uint32_t outputLength) {
  if (world.family != DeviceFamily::kVirtual) return Failure(ERROR_INVALID_FUNCTION);
  if (input.size() != kHandshakeSize || outputLength != kHandshakeSize)
    return Failure(ERROR_INVALID_PARAMETER);
  const VirtualDevice& device = world.virtualDevice;
  if (device.handshakeError != 0) return Failure(device.handshakeError);
  DeviceReply reply;
  reply.bytes = input;
  std::uint8_t* out = reply.bytes.data();
  std::memset(out, 0, 4);
  std::memcpy(out, device.signature.data(), std::min<std::size_t>(4, device.signature.size()));
  PutU16(out + kHandshakeLengthOffset, device.replyLength);
  std::memset(out + kHandshakeTextOffset, 0, kHandshakeTextSize);
  std::memcpy(out + kHandshakeTextOffset, device.version.data(),
              std::min(kHandshakeTextSize, device.version.size()));
  PutU32(out + kHandshakeCountOffset, device.controllerCount);
  PutU32(out + kHandshakeCountOffset + 4, 0);
  return reply;
}

DeviceReply Identify(Controller& controller, Bytes reply) {
  std::uint8_t* packet = reply.data() + kPacketOffset;
  const bool opening = packet[2] == 1;
  const std::uint32_t error =
      opening ? controller.faults.openIdentifyError : controller.faults.queryDriverError;
  if (error != 0) return Failure(error);
  ++controller.identifyRequests;
  const int after = controller.faults.levelAfterAttempts;
  const bool starting = after < 0 || controller.identifyRequests <= after;
  std::memset(packet + kDriverTextOffset, 0, kDriverTextSize);
  std::memcpy(packet + kDriverTextOffset, controller.driverText.data(),
              std::min(kDriverTextSize - 1, controller.driverText.size()));
  PutU16(packet + kLevelOffset, starting ? 0 : controller.level);
  PutU32(packet + kExtraOffset, starting ? 0 : controller.extra);
  return DeviceReply{0, std::move(reply), false};
}

DeviceReply Parameter(const Controller& controller, Bytes reply) {
  std::uint8_t* packet = reply.data() + kPacketOffset;
  std::uint8_t* block = reply.data() + kBlockOffset;
  const std::uint16_t table = GetU16(block + kBlockTable);
  const std::uint8_t parameter = block[kBlockParameter];
  const std::uint8_t size = block[kBlockSizeField];
  if (auto fault = controller.faults.parameters.find({table, parameter});
      fault != controller.faults.parameters.end()) {
    const ParameterFault& f = fault->second;
    if (f.disconnect) return DeviceReply{platform::ERROR_DEVICE_NOT_CONNECTED, {}, true};
    if (f.silent) return DeviceReply{platform::ERROR_GEN_FAILURE, {}, false, true};
    if (f.error != 0) return Failure(f.error);
    if (f.packetStatus != 0) {
      packet[kPacketStatus] = f.packetStatus;
      return DeviceReply{0, std::move(reply), false};
    }
  }
  std::optional<Bytes> value = ParameterValue(controller, table, parameter);
  if (!value) {
    packet[kPacketStatus] = kPacketStatusNoSuchParameter;
    return DeviceReply{0, std::move(reply), false};
  }
  packet[kPacketStatus] = 0;
  std::memset(block + kBlockData, 0, size);
  std::memcpy(block + kBlockData, value->data(), std::min<std::size_t>(size, value->size()));
  return DeviceReply{0, std::move(reply), false};
}

void Record(World& world, const std::string& device, std::uint32_t code, const Bytes& input,
            std::uint32_t outputLength) {
  ++world.deviceCalls;
  if (!world.recordRequests || world.recordLimit == 0) return;
  while (world.received.size() >= world.recordLimit) world.received.pop_front();
  world.received.push_back(ReceivedRequest{device, code, input, outputLength});
}

Member MemberOn(const Controller& controller, std::uint8_t port, std::uint8_t index) {
  const Drive* drive = controller.FindDrive(port);
  return Member{port, index, drive ? drive->sectors : 0};
}

}  // namespace

const Drive* Controller::FindDrive(int port) const {
  for (const Drive& drive : drives) {
    if (drive.port == port) return &drive;
  }
  return nullptr;
}

Unit* Controller::FindUnit(int number) {
  for (Unit& unit : units) {
    if (unit.number == number) return &unit;
  }
  return nullptr;
}

const Unit* Controller::FindUnit(int number) const {
  return const_cast<Controller*>(this)->FindUnit(number);
}

bool Controller::SameConfiguration(const Controller& other) const {
  return scsiId == other.scsiId && driverText == other.driverText && level == other.level &&
         extra == other.extra && versions == other.versions && drives == other.drives &&
         units == other.units && parameters == other.parameters && unitCount == other.unitCount &&
         faults == other.faults;
}

Controller* World::FindController(int scsiId) {
  for (Controller& controller : controllers) {
    if (controller.scsiId == scsiId) return &controller;
  }
  return nullptr;
}

const Controller* World::FindController(int scsiId) const {
  return const_cast<World*>(this)->FindController(scsiId);
}

void World::CopyConfigurationFrom(const World& other) {
  family = other.family;
  virtualDevice = other.virtualDevice;
  controllers.clear();
  for (const Controller& source : other.controllers) {
    Controller copy = source;
    copy.identifyRequests = 0;
    copy.notifications.clear();
    copy.notificationsOverflowed = false;
    copy.scheduled.clear();
    controllers.push_back(std::move(copy));
  }
}

bool World::SameConfiguration(const World& other) const {
  if (family != other.family || !(virtualDevice == other.virtualDevice) ||
      controllers.size() != other.controllers.size()) {
    return false;
  }
  for (std::size_t i = 0; i < controllers.size(); ++i) {
    if (!controllers[i].SameConfiguration(other.controllers[i])) return false;
  }
  return true;
}

std::vector<std::string> DeviceNames(const World& world) {
  if (world.family == DeviceFamily::kVirtual) return {kVirtualDeviceName};
  std::vector<std::string> names;
  for (const Controller& controller : world.controllers) {
    names.push_back("Scsi" + std::to_string(controller.scsiId) + ":");
  }
  return names;
}

std::uint32_t OpenDevice(const World& world, const std::string& deviceName) {
  if (world.family == DeviceFamily::kVirtual) {
    return deviceName == kVirtualDeviceName ? world.virtualDevice.openError : ERROR_FILE_NOT_FOUND;
  }
  const Controller* controller = world.FindController(PortDeviceId(deviceName));
  return controller ? controller->faults.openError : ERROR_FILE_NOT_FOUND;
}

DeviceReply AnswerDeviceCall(World& world, const std::string& deviceName, std::uint32_t controlCode,
                             const Bytes& input, std::uint32_t outputLength) {
  std::lock_guard lock(world.mutex);
  return HandleDeviceCall(world, deviceName, controlCode, input, outputLength);
}

DeviceReply HandleDeviceCall(World& world, const std::string& deviceName, std::uint32_t controlCode,
                             const Bytes& input, std::uint32_t outputLength) {
  Record(world, deviceName, controlCode, input, outputLength);
  if (OpenDevice(world, deviceName) != 0) return Failure(ERROR_INVALID_HANDLE);
  if (controlCode == platform::VSD_HANDSHAKE_CODE) return Handshake(world, input, outputLength);
  if (controlCode != platform::IOCTL_SCSI_MINIPORT) return Failure(ERROR_INVALID_FUNCTION);

  const std::size_t size = input.size();
  if (size != outputLength || (size != kRequestSize && size != kParameterRequestSize) ||
      !HeaderIsValid(input)) {
    return Failure(ERROR_INVALID_PARAMETER);
  }
  Controller* controller = nullptr;
  if (world.family == DeviceFamily::kVirtual) {
    // The virtual device finds the controller by the id inside the request.
    controller = world.FindController(static_cast<int>(GetU32(&input[kIdOffset])));
  } else {
    controller = world.FindController(PortDeviceId(deviceName));
  }
  if (controller == nullptr) return Failure(ERROR_INVALID_PARAMETER);

  Bytes reply = input;
  const std::uint8_t opcode = reply[kPacketOffset] & 0x1F;
  if (opcode == kOpcodeIdentify) return Identify(*controller, std::move(reply));
  if (opcode == kOpcodeParameter) {
    if (size != kParameterRequestSize) return Failure(ERROR_INVALID_PARAMETER);
    return Parameter(*controller, std::move(reply));
  }
  reply[kPacketOffset + kPacketStatus] = kPacketStatusBadOpcode;
  return DeviceReply{0, std::move(reply), false};
}

Bytes EncodeDescriptor(const Unit& unit) {
  if (unit.rawDescriptor) return *unit.rawDescriptor;
  auto entry = [](Bytes& out, std::uint8_t kind, std::uint8_t b2, std::uint8_t b3, std::uint32_t sectors) {
    std::uint8_t bytes[12] = {};
    bytes[0] = kind;
    bytes[2] = b2;
    bytes[3] = b3;
    PutU32(bytes + 8, sectors);
    out.insert(out.end(), bytes, bytes + 12);
  };
  Bytes out(12, 0);
  out[1] = unit.type;
  out[3] = unit.notInService;
  if (unit.IsSingleDrive()) {
    out[2] = unit.port;
    PutU32(&out[8], unit.sectors);
    return out;
  }
  out[2] = unit.stripe;
  if (!unit.subunits.empty()) {
    out[0] = static_cast<std::uint8_t>(unit.subunits.size());
    Bytes header(12, 0);
    header[0] = 0xFF;
    for (std::size_t s = 0; s < unit.subunits.size() && s < 4; ++s) header[2 + s] = unit.subunits[s].status;
    out.insert(out.end(), header.begin(), header.end());
    for (const Subunit& subunit : unit.subunits) {
      entry(out, 1, 0, 0, 0);
      for (const Member& member : subunit.members) entry(out, 0, member.port, member.index, member.sectors);
    }
    return out;
  }
  out[0] = static_cast<std::uint8_t>(unit.members.size());
  for (const Member& member : unit.members) entry(out, 0, member.port, member.index, member.sectors);
  return out;
}

void BuildDefaultWorld(World& world) {
  world.family = DeviceFamily::kPerPort;
  world.virtualDevice = VirtualDevice{};
  world.controllers.clear();

  Controller first;
  first.scsiId = 0;
  first.driverText = "Zelka NT driver 2.10.04.018";
  first.level = 3;
  first.extra = 1;
  first.versions =
      VersionTexts{"ZM 2.01.004", "ZF 2.04.011", "ZB 2.02.007", "PC-3A", "AC 1.3", "PC 2.0", "Zelka Z-480"};
  for (int port = 0; port < 4; ++port) {
    first.drives.push_back(Drive{port, "KD-4000 ATA Disk", "KD4S0" + std::to_string(1000 + port), 78165360});
  }
  Unit raid5;
  raid5.number = 0;
  raid5.type = 5;
  raid5.stripe = 7;
  raid5.status = 0xFF;
  raid5.sectors = 2u * 78165360u;
  for (std::uint8_t port = 0; port < 3; ++port) raid5.members.push_back(MemberOn(first, port, port));
  first.units.push_back(raid5);
  Unit spare;
  spare.number = 1;
  spare.type = 13;
  spare.status = 0xFF;
  spare.sectors = 78165360;
  spare.port = 3;
  first.units.push_back(spare);
  world.controllers.push_back(first);

  Controller second;
  second.scsiId = 1;
  second.driverText = "Zelka NT driver 2.10.04.018";
  second.level = 3;
  second.extra = 1;
  second.versions =
      VersionTexts{"ZM 2.01.004", "ZF 2.04.013", "ZB 2.02.007", "PC-3B", "AC 1.3", "PC 2.0", "Zelka Z-880"};
  for (int port = 0; port < 4; ++port) {
    second.drives.push_back(
        Drive{port, "KD-6000 ATA Disk", "KD6S0" + std::to_string(2000 + port), 120103200});
  }
  second.drives.push_back(Drive{4, "KD-8000 ATA Disk", "KD8S03000", 156301488});
  Unit raid10;
  raid10.number = 0;
  raid10.type = 6;
  raid10.stripe = 8;
  raid10.status = 0xFF;
  raid10.sectors = 2u * 120103200u;
  raid10.subunits.push_back(Subunit{0xFF, {MemberOn(second, 0, 0), MemberOn(second, 1, 1)}});
  raid10.subunits.push_back(Subunit{0xFF, {MemberOn(second, 2, 0), MemberOn(second, 3, 1)}});
  second.units.push_back(raid10);
  Unit independent;
  independent.number = 1;
  independent.type = 15;
  independent.status = 0xFF;
  independent.sectors = 156301488;
  independent.port = 4;
  second.units.push_back(independent);
  world.controllers.push_back(second);
  world.virtualDevice.controllerCount = static_cast<std::uint32_t>(world.controllers.size());
}

}  // namespace kivo::emulator
