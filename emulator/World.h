// The emulated machine: controllers, drives, units, faults and the record of
// what the devices were asked, as plain data, plus the pure request handler
// that answers device-control calls from it. Every server and every tool that
// reads or changes a World takes World::mutex first.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kivo::emulator {

using Bytes = std::vector<std::uint8_t>;

// How the machine presents its controllers: one device "Scsi<id>:" per SCSI
// port, or the single virtual device "ZELKAVSD" serving them all.
enum class DeviceFamily { kPerPort, kVirtual };

// The packet status the emulated firmware answers for a table or parameter it
// does not know (the unit table of an absent unit, the drive table of an
// empty port).
constexpr std::uint8_t kPacketStatusNoSuchParameter = 0x0C;
// ... and for a command packet whose opcode it does not know.
constexpr std::uint8_t kPacketStatusBadOpcode = 0x01;

constexpr int kMaxScsiId = 11;
constexpr int kUnitNumbers = 16;
// Parameter 5 of a unit table is the descriptor length plus 3 in one byte.
constexpr std::size_t kMaxDescriptorLength = 252;

struct Drive {
  int port = 0;        // 0..254
  std::string model;   // at most 40 characters; sent blank-padded to 40
  std::string serial;  // at most 20 characters; sent zero-padded to 20
  std::uint32_t sectors = 0;

  bool operator==(const Drive&) const = default;
};

// One member drive of an array (or of a RAID 10 subunit).
struct Member {
  std::uint8_t port = 0;      // 0xFF: the drive is inaccessible
  std::uint8_t index = 0;     // bit in the unit's not-in-service map (RAID 10: within the subunit)
  std::uint32_t sectors = 0;  // size recorded for this member

  bool operator==(const Member&) const = default;
};

struct Subunit {
  std::uint8_t status = 0xFF;
  std::vector<Member> members;  // two drives

  bool operator==(const Subunit&) const = default;
};

struct Unit {
  int number = 0;                 // 0..15
  std::uint8_t type = 0;          // 0, 1, 2, 5, 6 arrays; 12, 13, 15 single drives; anything else allowed
  std::uint8_t stripe = 7;        // stripe code of an array
  std::uint8_t status = 0xFF;     // unit status byte
  std::uint32_t sectors = 0;      // unit size
  std::uint8_t notInService = 0;  // descriptor byte 3: bit k = member k out of service
  std::vector<Member> members;    // arrays other than RAID 10
  std::vector<Subunit> subunits;  // RAID 10 (type 6)
  // A single-drive unit (no members, no subunits): the drive's port.
  std::uint8_t port = 0;
  // Replaces the descriptor built from the fields above (odd descriptors).
  std::optional<Bytes> rawDescriptor;
  // Replaces parameter 5 (normally descriptor length + 3).
  std::optional<std::uint16_t> descriptorSize;

  bool IsSingleDrive() const { return members.empty() && subunits.empty(); }
  bool operator==(const Unit&) const = default;
};

using ParameterKey = std::pair<std::uint16_t, std::uint8_t>;  // table id, parameter id

// How one parameter request is answered instead of with its value.
struct ParameterFault {
  std::uint8_t packetStatus = 0;  // nonzero: the packet comes back with this status
  std::uint32_t error = 0;        // nonzero: the device-control call fails with this system error
  bool disconnect = false;        // the device drops the connection (system error 1167 in-process)
  bool silent = false;            // the device never answers (system error 31 in-process)

  bool operator==(const ParameterFault&) const = default;
};

struct ControllerFaults {
  std::uint32_t openError = 0;          // the device does not open (per-port family)
  std::uint32_t openIdentifyError = 0;  // identify requests sent while opening fail with this error
  std::uint32_t queryDriverError = 0;   // the driver version query fails with this error
  // The first N identify requests are answered with level 0 and extra 0
  // (a driver still starting); -1: the driver never reports a level.
  int levelAfterAttempts = 0;
  std::map<ParameterKey, ParameterFault> parameters;

  bool operator==(const ControllerFaults&) const = default;
};

struct VersionTexts {
  std::string monitor;   // table 0x402 parameter 2, 16 bytes
  std::string firmware;  // parameter 3, 16 bytes
  std::string bios;      // parameter 4, 16 bytes
  std::string pcba;      // parameter 5, 8 bytes
  std::string aChip;     // parameter 6, 8 bytes
  std::string pChip;     // parameter 7, 8 bytes
  std::string model;     // parameter 8, 16 bytes

  bool operator==(const VersionTexts&) const = default;
};

struct Controller {
  int scsiId = 0;           // 0..11
  std::string driverText;   // identify reply, at most 41 characters
  std::uint16_t level = 3;  // identify reply, packet offset 50
  std::uint32_t extra = 0;  // identify reply, packet offset 52
  VersionTexts versions;
  std::vector<Drive> drives;
  std::vector<Unit> units;
  // Raw parameter values; they win over everything computed from the fields above.
  std::map<ParameterKey, Bytes> parameters;
  // Replaces table 3 parameter 2 (normally the number of units).
  std::optional<std::uint16_t> unitCount;
  ControllerFaults faults;

  // Run-time state, not part of a world file.
  int identifyRequests = 0;  // identify requests answered so far
  // The service side's notification queue (words: low byte AEN code, high
  // byte unit or port) and whether it overflowed since the last fetch.
  std::deque<std::uint16_t> notifications;
  bool notificationsOverflowed = false;
  // Notifications raised later (a series with an interval, WorldEvents.h):
  // each joins the queue when its time has come, in the order of the times.
  std::multimap<std::chrono::steady_clock::time_point, std::uint16_t> scheduled;

  const Drive* FindDrive(int port) const;
  Unit* FindUnit(int number);
  const Unit* FindUnit(int number) const;
  bool SameConfiguration(const Controller& other) const;
};

struct VirtualDevice {
  std::string version;                // handshake reply text, at most 44 bytes
  std::uint32_t controllerCount = 0;  // controllers it serves (handshake offset 50)
  std::uint32_t openError = 0;        // "ZELKAVSD" does not open
  std::uint32_t handshakeError = 0;   // the handshake call fails with this error
  std::uint16_t replyLength = 58;     // handshake reply length word
  std::string signature = "VSD";      // handshake reply signature (3 characters and a zero)

  bool operator==(const VirtualDevice&) const = default;
};

// One device-control call as the device received it.
struct ReceivedRequest {
  std::string device;  // "Scsi3:", "ZELKAVSD"
  std::uint32_t controlCode = 0;
  Bytes input;
  std::uint32_t outputLength = 0;
};

struct DeviceReply {
  std::uint32_t error = 0;  // Win32 error; 0 = success and `bytes` is the output buffer
  Bytes bytes;
  bool disconnect = false;  // drop the connection without a reply
  bool silent = false;      // never answer this call nor any later one on the connection
};

struct World {
  // Guards everything below. Every server (device, service, control, web page)
  // takes it for each call it answers; HandleDeviceCall expects it held.
  mutable std::mutex mutex;

  DeviceFamily family = DeviceFamily::kPerPort;
  VirtualDevice virtualDevice;
  std::vector<Controller> controllers;  // ascending SCSI id

  // The record of received device calls (oldest dropped beyond the limit).
  bool recordRequests = true;
  std::size_t recordLimit = 4096;
  std::deque<ReceivedRequest> received;
  std::uint64_t deviceCalls = 0;   // device-control calls answered
  std::uint64_t serviceCalls = 0;  // RPC calls answered (service side)

  World() = default;
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  Controller* FindController(int scsiId);
  const Controller* FindController(int scsiId) const;
  // Copies the configuration (family, devices, controllers and their faults),
  // not the record or run-time state.
  void CopyConfigurationFrom(const World& other);
  bool SameConfiguration(const World& other) const;
};

// The device names the world presents ("Scsi0:", "Scsi4:" or "ZELKAVSD").
std::vector<std::string> DeviceNames(const World& world);

// Opening a device: 0, or the Win32 error CreateFileA reports (2 when the
// world has no such device).
std::uint32_t OpenDevice(const World& world, const std::string& deviceName);

// Answers one device-control call on device `deviceName`. The caller holds
// world.mutex. Never throws for any input.
DeviceReply HandleDeviceCall(World& world, const std::string& deviceName, std::uint32_t controlCode,
                             const Bytes& input, std::uint32_t outputLength);
// As HandleDeviceCall, taking world.mutex for the call (the device servers'
// way in).
DeviceReply AnswerDeviceCall(World& world, const std::string& deviceName, std::uint32_t controlCode,
                             const Bytes& input, std::uint32_t outputLength);

// The unit's descriptor as parameter 6 gives it (rawDescriptor if set).
Bytes EncodeDescriptor(const Unit& unit);

// The built-in machine: controller 0 with a RAID 5 on ports 0-2 and a hot
// spare on port 3; controller 1 with a RAID 10 on ports 0-3 and an
// independent disk on port 4.
void BuildDefaultWorld(World& world);

}  // namespace kivo::emulator
