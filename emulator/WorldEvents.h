// WorldEvents: what happens to the emulated controllers over time, as the
// service side sees it: the bounded notification queue of each controller,
// series of notifications raised at a rate, and the drive failure and rebuild
// steps that change units and queue their AENs.
// Used by the service server and the control command; every call expects
// World::mutex held.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "emulator/World.h"

namespace kivo::emulator {

// Notifications a controller keeps; one more is dropped and the next answer
// reports the overflow.
constexpr std::size_t kNotificationQueueLimit = 64;
// The answer after an overflow: AEN 255 "Queue is full.", no unit.
constexpr std::uint16_t kQueueFullWord = 0x00FF;

constexpr std::uint8_t kAenDegraded = 2;
constexpr std::uint8_t kAenRebuildComplete = 5;
constexpr std::uint8_t kAenRebuildStarted = 11;

// Unit status bytes the steps set: complete and online in each state.
constexpr std::uint8_t kStatusDegraded = 0xE3;
constexpr std::uint8_t kStatusRebuilding = 0xD3;
constexpr std::uint8_t kStatusHealthy = 0xFF;

using EventTime = std::chrono::steady_clock::time_point;

// Queues the word (unit << 8 | code) for the controller with this SCSI id.
// False with the reason when there is no such controller. A full queue drops
// the word and remembers the overflow.
bool QueueNotification(World& world, int controllerId, std::uint8_t code, std::uint8_t unit,
                       std::string* error, EventTime now = std::chrono::steady_clock::now());

// The most notifications one series raises.
constexpr int kMaxSeriesCount = 100000;

// A series of `count` notifications of `code` on one controller (a flapping
// cable, a burst), their unit bytes numbering them from 0 (modulo 256) so
// that each can be told from the others: the first at `now`, then one every
// `interval`; a zero interval queues them all at once. Each joins the queue
// at its time as QueueNotification would have queued it then (the queue's
// limit included). False with the reason when there is no such controller.
bool QueueNotificationSeries(World& world, int controllerId, std::uint8_t code, int count,
                             std::chrono::milliseconds interval, std::string* error,
                             EventTime now = std::chrono::steady_clock::now());

// Moves every scheduled notification whose time has come into its queue.
// The queue's readers call it first, so a series is seen as if each word had
// been queued at its time.
void ReleaseDueNotifications(World& world, EventTime now = std::chrono::steady_clock::now());

// The next word for the controller and removes it: kQueueFullWord once after
// an overflow, then the queued words in order, 0 when nothing is queued or
// the controller does not exist.
std::uint16_t NextNotification(World& world, int controllerId,
                               EventTime now = std::chrono::steady_clock::now());

// The drive on `port` fails: its array unit (RAID 10: also its subunit)
// becomes degraded, its bit in the not-in-service map is set, and AEN 2 with
// the unit number is queued. False with the reason when the controller does
// not exist or the port is no array member. *message says what changed.
bool FailDrive(World& world, int controllerId, int port, std::string* message);

// A rebuild of the array unit starts (status rebuilding, AEN 11) or finishes
// (status healthy, every member back in service, AEN 5).
bool StartRebuild(World& world, int controllerId, int unitNumber, std::string* message);
bool FinishRebuild(World& world, int controllerId, int unitNumber, std::string* message);

}  // namespace kivo::emulator
