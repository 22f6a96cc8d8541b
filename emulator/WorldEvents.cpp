// Notification queues and the drive failure and rebuild steps of the emulated
// controllers.
#include "emulator/WorldEvents.h"

namespace kivo::emulator {

namespace {

std::string NoController(int controllerId) {
  return "no controller with id " + std::to_string(controllerId);
}

void Push(Controller& controller, std::uint8_t code, std::uint8_t unit) {
  if (controller.notifications.size() >= kNotificationQueueLimit) {
    controller.notificationsOverflowed = true;
    return;
  }
  controller.notifications.push_back(static_cast<std::uint16_t>((unit << 8) | code));
}

// The array unit that the rebuild steps may act on.
Unit* FindArray(World& world, int controllerId, int unitNumber, std::string* message) {
  Controller* controller = world.FindController(controllerId);
  if (!controller) {
    *message = NoController(controllerId);
    return nullptr;
  }
  Unit* unit = controller->FindUnit(unitNumber);
  if (!unit) {
    *message = "controller " + std::to_string(controllerId) + " has no unit " + std::to_string(unitNumber);
    return nullptr;
  }
  if (unit->IsSingleDrive()) {
    *message = "unit " + std::to_string(unitNumber) + " of controller " + std::to_string(controllerId) +
               " is a single drive, not an array";
    return nullptr;
  }
  return unit;
}

}  // namespace

bool QueueNotification(World& world, int controllerId, std::uint8_t code, std::uint8_t unit,
                       std::string* error, EventTime now) {
  Controller* controller = world.FindController(controllerId);
  if (!controller) {
    *error = NoController(controllerId);
    return false;
  }
  // The words whose time came before this one go first.
  ReleaseDueNotifications(world, now);
  Push(*controller, code, unit);
  return true;
}

bool QueueNotificationSeries(World& world, int controllerId, std::uint8_t code, int count,
                             std::chrono::milliseconds interval, std::string* error, EventTime now) {
  Controller* controller = world.FindController(controllerId);
  if (!controller) {
    *error = NoController(controllerId);
    return false;
  }
  ReleaseDueNotifications(world, now);
  for (int i = 0; i < count; ++i) {
    const auto unit = static_cast<std::uint8_t>(i & 0xFF);
    if (interval.count() == 0) {
      Push(*controller, code, unit);
    } else {
      controller->scheduled.emplace(now + i * interval, static_cast<std::uint16_t>((unit << 8) | code));
    }
  }
  // The first of a series with an interval is due at once.
  ReleaseDueNotifications(world, now);
  return true;
}

void ReleaseDueNotifications(World& world, EventTime now) {
  for (Controller& controller : world.controllers) {
    auto& scheduled = controller.scheduled;
    while (!scheduled.empty() && scheduled.begin()->first <= now) {
      const std::uint16_t word = scheduled.begin()->second;
      scheduled.erase(scheduled.begin());
      Push(controller, static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8));
    }
  }
}

std::uint16_t NextNotification(World& world, int controllerId, EventTime now) {
  Controller* controller = world.FindController(controllerId);
  if (!controller) return 0;
  ReleaseDueNotifications(world, now);
  if (controller->notificationsOverflowed) {
    controller->notificationsOverflowed = false;
    return kQueueFullWord;
  }
  if (controller->notifications.empty()) return 0;
  std::uint16_t word = controller->notifications.front();
  controller->notifications.pop_front();
  return word;
}

bool FailDrive(World& world, int controllerId, int port, std::string* message) {
  Controller* controller = world.FindController(controllerId);
  if (!controller) {
    *message = NoController(controllerId);
    return false;
  }
  for (Unit& unit : controller->units) {
    // The bit of a member in the not-in-service map: its index, for RAID 10
    // plus twice the subunit's position (as the scan reads it back).
    int bit = -1;
    for (const Member& member : unit.members) {
      if (member.port == port) bit = member.index;
    }
    for (std::size_t s = 0; s < unit.subunits.size() && bit < 0; ++s) {
      for (const Member& member : unit.subunits[s].members) {
        if (member.port == port) {
          bit = member.index + 2 * static_cast<int>(s);
          unit.subunits[s].status = kStatusDegraded;
        }
      }
    }
    if (bit < 0) continue;
    unit.status = kStatusDegraded;
    if (bit < 8) unit.notInService = static_cast<std::uint8_t>(unit.notInService | (1u << bit));
    ReleaseDueNotifications(world);
    Push(*controller, kAenDegraded, static_cast<std::uint8_t>(unit.number));
    *message = "controller " + std::to_string(controllerId) + " unit " + std::to_string(unit.number) +
               " degraded, port " + std::to_string(port) + " not in service; AEN 2 queued";
    return true;
  }
  *message = "port " + std::to_string(port) + " of controller " + std::to_string(controllerId) +
             " is not a member of an array";
  return false;
}

bool StartRebuild(World& world, int controllerId, int unitNumber, std::string* message) {
  Unit* unit = FindArray(world, controllerId, unitNumber, message);
  if (!unit) return false;
  unit->status = kStatusRebuilding;
  for (Subunit& subunit : unit->subunits) {
    if (subunit.status == kStatusDegraded) subunit.status = kStatusRebuilding;
  }
  ReleaseDueNotifications(world);
  Push(*world.FindController(controllerId), kAenRebuildStarted, static_cast<std::uint8_t>(unitNumber));
  *message = "controller " + std::to_string(controllerId) + " unit " + std::to_string(unitNumber) +
             " rebuilding; AEN 11 queued";
  return true;
}

bool FinishRebuild(World& world, int controllerId, int unitNumber, std::string* message) {
  Unit* unit = FindArray(world, controllerId, unitNumber, message);
  if (!unit) return false;
  unit->status = kStatusHealthy;
  unit->notInService = 0;
  for (Subunit& subunit : unit->subunits) subunit.status = kStatusHealthy;
  ReleaseDueNotifications(world);
  Push(*world.FindController(controllerId), kAenRebuildComplete, static_cast<std::uint8_t>(unitNumber));
  *message = "controller " + std::to_string(controllerId) + " unit " + std::to_string(unitNumber) +
             " rebuilt, all members in service; AEN 5 queued";
  return true;
}

}  // namespace kivo::emulator
