// RandomWorld: seeded random machines for the tests of kivo-report's faces
// (many units, single-drive units, more than 64 rows, refused and failing
// reads, dropped connections), and what the JSON document must say of each,
// worked out from the world alone.
#pragma once

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "controller/StatusText.h"
#include "emulator/World.h"

namespace kivo::test {

using nlohmann::json;

// The standard distributions differ between libraries; the engine does not.
class Dice {
 public:
  explicit Dice(std::uint32_t seed) : engine_(seed) {}
  int Below(int n) { return static_cast<int>(engine_() % static_cast<std::uint32_t>(n)); }
  bool OneIn(int n) { return Below(n) == 0; }
  template <typename T>
  T Pick(std::initializer_list<T> items) {
    return items.begin()[Below(static_cast<int>(items.size()))];
  }

 private:
  std::mt19937 engine_;
};

// A device text with, now and then, blanks around it, a tab or a byte
// outside ASCII.
inline std::string RandomText(Dice& dice, int most) {
  std::string text;
  for (int n = 1 + dice.Below(most - 8); n > 0; --n) text += static_cast<char>('A' + dice.Below(26));
  if (dice.OneIn(6)) text = "  " + text;
  if (dice.OneIn(6)) text += dice.OneIn(2) ? " \t" : "\xE9";
  if (dice.OneIn(8)) text.insert(1, "(x)");
  return text;
}

inline emulator::Unit RandomUnit(Dice& dice, int number, bool dense) {
  emulator::Unit unit;
  unit.number = number;
  unit.status =
      dice.Pick<std::uint8_t>({0xFF, 0xFF, 0xFF, 0xF3, 0xF7, 0xE3, 0xE1, 0xD3, 0xC3, 0xB0, 0x00, 0x13});
  unit.sectors = static_cast<std::uint32_t>(dice.Below(1 << 30));
  unit.notInService = dice.OneIn(3) ? static_cast<std::uint8_t>(dice.Below(256)) : 0;
  unit.stripe = dice.Pick<std::uint8_t>({3, 7, 8, 9});
  const int kind = dice.Below(4);
  auto port = [&](int below) {
    return static_cast<std::uint8_t>(dice.OneIn(9)    ? 0xFF
                                     : dice.OneIn(12) ? 9 + dice.Below(30)
                                                      : dice.Below(below));
  };
  if (kind == 0) {
    unit.type = dice.Pick<std::uint8_t>({12, 13, 15, 15, 0, 14});
    unit.port = port(255);
  } else if (kind == 1) {
    unit.type = 6;
    for (int s = 1 + dice.Below(dense ? 4 : 2) + (dice.OneIn(15) ? 1 : 0); s > 0; --s) {
      unit.subunits.push_back({dice.Pick<std::uint8_t>({0xFF, 0xFF, 0xD3, 0xE3}),
                               {{port(40), 0, static_cast<std::uint32_t>(dice.Below(1 << 20))},
                                {port(40), 1, static_cast<std::uint32_t>(dice.Below(1 << 20))}}});
    }
  } else {
    unit.type = dice.Pick<std::uint8_t>({0, 1, 2, 5, 5, 3});
    const int members = 1 + dice.Below(dense ? 8 : 4) + (dice.OneIn(10) ? 12 : 0);
    for (int m = 0; m < members; ++m) {
      unit.members.push_back({port(9), static_cast<std::uint8_t>(dice.OneIn(8) ? dice.Below(10) : m),
                              static_cast<std::uint32_t>(dice.Below(1 << 20))});
    }
  }
  // A descriptor read cut short: below its first four bytes, or inside its
  // member entries.
  const auto length = static_cast<int>(emulator::EncodeDescriptor(unit).size());
  if (dice.OneIn(25)) unit.descriptorSize = static_cast<std::uint16_t>(3 + dice.Below(4));
  if (length > 24 && dice.OneIn(25))
    unit.descriptorSize = static_cast<std::uint16_t>(3 + 12 + dice.Below(length - 12));
  return unit;
}

inline void BuildRandomWorld(std::uint32_t seed, emulator::World& world) {
  Dice dice(seed);
  world.family = emulator::DeviceFamily::kPerPort;
  world.controllers.clear();
  world.recordRequests = false;
  std::vector<int> ids = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  for (std::size_t i = ids.size() - 1; i > 0; --i)
    std::swap(ids[i], ids[static_cast<std::size_t>(dice.Below(static_cast<int>(i) + 1))]);
  ids.resize(static_cast<std::size_t>(1 + dice.Below(3)));
  std::sort(ids.begin(), ids.end());
  for (int id : ids) {
    emulator::Controller c;
    c.scsiId = id;
    c.driverText = "Zelka driver";
    c.versions = emulator::VersionTexts{"M", "F", "B", "P", "A", "C", "Z-480"};
    const bool dense = dice.OneIn(2);  // well over the 64 display rows
    std::vector<std::uint8_t> ports;
    for (int n = 0; n < 16; ++n) {
      if (!dense && dice.OneIn(2)) continue;
      c.units.push_back(RandomUnit(dice, n, dense));
      const emulator::Unit& unit = c.units.back();
      auto table = static_cast<std::uint16_t>(0x300 + n);
      if (dice.OneIn(20)) c.faults.parameters[{table, 3}].packetStatus = 0x0C;
      if (dice.OneIn(20)) c.faults.parameters[{table, 6}].packetStatus = 0x0C;
      if (dice.OneIn(25)) c.faults.parameters[{table, 4}].packetStatus = 0x0C;
      if (dice.OneIn(40)) c.faults.parameters[{table, 4}].error = 6;
      ports.push_back(unit.port);
      for (const auto& member : unit.members) ports.push_back(member.port);
      for (const auto& subunit : unit.subunits)
        for (const auto& member : subunit.members) ports.push_back(member.port);
    }
    for (std::uint8_t port : ports) {
      if (port == 0xFF || c.FindDrive(port) != nullptr || dice.OneIn(10)) continue;  // a port left empty
      c.drives.push_back({port, RandomText(dice, 40), RandomText(dice, 20),
                          static_cast<std::uint32_t>(dice.Below(1 << 30))});
      if (dice.OneIn(15))
        c.faults.parameters[{static_cast<std::uint16_t>(0x200 + port), 3}].packetStatus = 0x0C;
    }
    if (dice.OneIn(4)) {  // units in the presence map that the controller does not describe
      emulator::Bytes map(16, 0);
      for (const auto& unit : c.units) map[static_cast<std::size_t>(unit.number)] = 1;
      map[static_cast<std::size_t>(dice.Below(16))] = 1;
      c.parameters[{3, 3}] = map;
    }
    if (dice.OneIn(30)) c.faults.parameters[{3, 3}].packetStatus = 0x0C;
    if (!c.units.empty() && dice.OneIn(6)) {  // the connection drops while a unit is read
      const auto& unit = c.units[static_cast<std::size_t>(dice.Below(static_cast<int>(c.units.size())))];
      auto& fault = c.faults.parameters[{static_cast<std::uint16_t>(0x300 + unit.number),
                                         static_cast<std::uint8_t>(3 + dice.Below(3))}];
      (dice.OneIn(2) ? fault.disconnect : fault.silent) = true;
    }
    world.controllers.push_back(c);
  }
}

// The device text as every face gives it.
inline std::string Printable(const std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  std::string out = text.substr(first, text.find_last_not_of(blanks) - first + 1);
  for (char& c : out) c = (c >= 0x20 && c < 0x7F) ? c : '?';
  return out;
}

inline std::string StatusWords(std::uint8_t status) {
  StatusTextBuffer text{};
  UnitStatusText(status, text);
  return Printable(text.data());
}

inline bool Well(const std::string& status) {
  return status == "OK" || status == "Normal";
}

// What the JSON document must say of one controller's units: number, read,
// type, sizeBytes, status, statusCode, needsAttention and each drive's port,
// model, serial, sizeBytes and status. `complete` is cleared when the scan
// of this controller cannot be complete.
class WorldOracle {
 public:
  explicit WorldOracle(const emulator::Controller& c) : c_(c) {
    for (const auto& [key, fault] : c.faults.parameters) {
      if (fault.disconnect || fault.silent) drop_ = key;
      if (fault.error != 0 && key.first >= 0x300 && key.first < 0x310) errors_.push_back(key);
    }
  }

  json Units(bool& complete) const {
    json units = json::array();
    if (Answer(3, 3) != kOk) {
      complete = false;
      return units;
    }
    emulator::Bytes map(16, 0);
    for (const auto& unit : c_.units) map[static_cast<std::size_t>(unit.number)] = 1;
    if (auto raw = c_.parameters.find({3, 3}); raw != c_.parameters.end()) map = raw->second;
    for (int n = 0; n < 16; ++n) {
      if (map[static_cast<std::size_t>(n)] != 0) units.push_back(Unit(n, complete));
    }
    for (const auto& key : errors_) {
      if (map[key.first - 0x300u] != 0 && !Dropped(key)) complete = false;
    }
    if (drop_.first != 0 && map[drop_.first - 0x300u] != 0) complete = false;
    return units;
  }

 private:
  enum Answer { kOk, kRefused, kFailed };

  bool Dropped(std::pair<std::uint16_t, std::uint8_t> key) const { return drop_.first != 0 && key >= drop_; }

  // How the controller answers a unit or drive table read (drive tables are
  // only read for units read before any drop).
  Answer Answer(std::uint16_t table, std::uint8_t parameter) const {
    if (table >= 0x300 && Dropped({table, parameter})) return kFailed;
    if (auto fault = c_.faults.parameters.find({table, parameter}); fault != c_.faults.parameters.end()) {
      if (fault->second.error != 0 || fault->second.disconnect || fault->second.silent) return kFailed;
      if (fault->second.packetStatus != 0) return kRefused;
    }
    if (table >= 0x300 && c_.FindUnit(table - 0x300) == nullptr) return kRefused;
    if (table < 0x300 && table >= 0x200 && c_.FindDrive(table - 0x200) == nullptr) return kRefused;
    return kOk;
  }

  json Drive(const emulator::Unit& unit, const emulator::Member& member, int subunit, bool asked) const {
    json drive = {{"port", nullptr},
                  {"model", nullptr},
                  {"serial", nullptr},
                  {"sizeBytes", static_cast<std::uint64_t>(member.sectors) * 512u},
                  {"status", "Error"}};
    if (member.port == 0xFF) return drive;
    drive["port"] = member.port;
    const auto table = static_cast<std::uint16_t>(0x200 + member.port);
    const emulator::Drive* found = c_.FindDrive(member.port);
    if (asked && Answer(table, 3) == kOk) drive["model"] = Printable(found->model);
    if (asked && Answer(table, 4) == kOk) drive["serial"] = Printable(found->serial);
    const auto bit = static_cast<std::uint8_t>(member.index + 2 * subunit);
    const bool redundant = unit.type == 2 || unit.type == 5 || unit.type == 6;
    drive["status"] =
        redundant && bit < 8 && (unit.notInService >> bit & 1) != 0 ? "Not in Service" : "In Service";
    return drive;
  }

  json Unit(int n, bool& complete) const {
    const auto table = static_cast<std::uint16_t>(0x300 + n);
    json unit = {
        {"number", n},       {"read", false},         {"type", nullptr},           {"sizeBytes", nullptr},
        {"status", nullptr}, {"statusCode", nullptr}, {"needsAttention", nullptr}, {"drives", json::array()}};
    const emulator::Unit* w = c_.FindUnit(n);
    bool trouble = false;
    const bool statusRead = Answer(table, 3) == kOk;
    if (statusRead) {
      unit["statusCode"] = w->status;
      unit["status"] = StatusWords(w->status);
      trouble = !Well(StatusWords(w->status));
    }
    if (Answer(table, 4) == kOk) unit["sizeBytes"] = static_cast<std::uint64_t>(w->sectors) * 512u;
    const int size = w != nullptr ? static_cast<int>(emulator::EncodeDescriptor(*w).size()) : 0;
    const int length =
        Answer(table, 5) == kOk ? ((w->descriptorSize ? *w->descriptorSize : size + 3) & 0xFF) - 3 : 0;
    const bool described = length >= 4 && Answer(table, 6) == kOk;
    bool whole = statusRead && described;
    if (described) {
      // Entries carried: the member entries the bytes read hold in full.
      const int carried = length > 12 ? (length - 12) / 12 : 0;
      if (w->IsSingleDrive()) {
        unit["type"] = w->type == 15   ? "Independent Disk"
                       : w->type == 13 ? "Hot Spare Disk"
                       : w->type == 12 ? "RAID Disk"
                                       : "Single Drive";
        unit["drives"].push_back(Drive(*w, {w->port, w->notInService, w->sectors}, 0, true));
      } else if (w->type == 6) {
        StatusTextBuffer text{};
        RaidTypeText(6, w->stripe, text);
        unit["type"] = text.data();
        int entry = 1;  // the status header
        for (std::size_t s = 0; s < w->subunits.size() && entry < carried; ++s, entry += 3) {
          whole = whole && s < 4 && entry + 2 < carried;
          if (s < 4) trouble = trouble || !Well(StatusWords(w->subunits[s].status));
          for (int m = 0; m < 2 && entry + 1 + m < carried; ++m)
            unit["drives"].push_back(
                Drive(*w, w->subunits[s].members[static_cast<std::size_t>(m)], static_cast<int>(s), true));
        }
        whole = whole && carried >= 1 + 3 * static_cast<int>(w->subunits.size());
      } else {
        StatusTextBuffer text{};
        RaidTypeText(w->type, w->stripe, text);
        unit["type"] = text.data();
        for (std::size_t m = 0; m < w->members.size() && static_cast<int>(m) < carried; ++m) {
          const emulator::Member& member = w->members[m];
          unit["drives"].push_back(Drive(*w, member, 0, member.port <= 8));
        }
        whole = whole && carried >= static_cast<int>(w->members.size());
      }
      for (const json& drive : unit["drives"]) trouble = trouble || drive["status"] != "In Service";
    }
    unit["read"] = whole;
    if (trouble || whole) unit["needsAttention"] = trouble;
    complete = complete && whole;
    return unit;
  }

  const emulator::Controller& c_;
  std::pair<std::uint16_t, std::uint8_t> drop_{0, 0};
  std::vector<std::pair<std::uint16_t, std::uint8_t>> errors_;
};

}  // namespace kivo::test
