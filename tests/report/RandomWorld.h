// RandomWorld: seeded random machines for the tests of kivo-report's faces
// (many units, single-drive units, more than 64 rows, refused and failing
// reads, dropped connections), and what the JSON document must say of each
// unit, worked out from the world alone.
#pragma once

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

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
  std::uint8_t Pick(std::initializer_list<std::uint8_t> items) {
    return items.begin()[Below(static_cast<int>(items.size()))];
  }

 private:
  std::mt19937 engine_;
};

// A device text with, now and then, blanks around it, a tab, a byte outside
// ASCII or parentheses.
inline std::string RandomText(Dice& dice, int most) {
  std::string text(static_cast<std::size_t>(1 + dice.Below(most - 8)), 'K');
  for (char& c : text) c = static_cast<char>('A' + dice.Below(26));
  if (dice.OneIn(6)) text = "  " + text;
  if (dice.OneIn(6)) text += dice.OneIn(2) ? " \t" : "\xE9";
  if (dice.OneIn(8)) text.insert(1, "(x)");
  return text;
}

inline emulator::Unit RandomUnit(Dice& dice, int number, bool dense) {
  emulator::Unit unit;
  unit.number = number;
  unit.status = dice.Pick({0xFF, 0xFF, 0xFF, 0xF3, 0xF7, 0xE3, 0xE1, 0xD3, 0xC3, 0xB0, 0x00, 0x13});
  unit.sectors = static_cast<std::uint32_t>(dice.Below(1 << 30));
  unit.notInService = dice.OneIn(3) ? static_cast<std::uint8_t>(dice.Below(256)) : 0;
  unit.stripe = dice.Pick({3, 7, 8, 9});
  // Array members on ports 0-8; now and then inaccessible or on a port the
  // controller does not have.
  auto member = [&](int ports, std::uint8_t index) {
    const int port = dice.OneIn(9) ? 0xFF : dice.OneIn(12) ? 9 + dice.Below(30) : dice.Below(ports);
    return emulator::Member{static_cast<std::uint8_t>(port), index,
                            static_cast<std::uint32_t>(dice.Below(1 << 20))};
  };
  switch (dice.Below(4)) {
    case 0:
      unit.type = dice.Pick({12, 13, 15, 15, 0, 14});
      unit.port = member(255, 0).port;
      return unit;  // a single drive's descriptor is never cut
    case 1:
      unit.type = 6;
      for (int s = 1 + dice.Below(dense ? 4 : 2) + (dice.OneIn(15) ? 1 : 0); s > 0; --s)
        unit.subunits.push_back({dice.Pick({0xFF, 0xFF, 0xD3, 0xE3}), {member(40, 0), member(40, 1)}});
      break;
    default:
      unit.type = dice.Pick({0, 1, 2, 5, 5, 3});
      for (int m = 0, count = 1 + dice.Below(dense ? 8 : 4) + (dice.OneIn(10) ? 12 : 0); m < count; ++m)
        unit.members.push_back(member(9, static_cast<std::uint8_t>(dice.OneIn(8) ? dice.Below(10) : m)));
  }
  // A descriptor read cut short: within its first four bytes, or inside its entries.
  const auto length = static_cast<int>(emulator::EncodeDescriptor(unit).size());
  if (dice.OneIn(25)) unit.descriptorSize = static_cast<std::uint16_t>(3 + dice.Below(4));
  if (dice.OneIn(25)) unit.descriptorSize = static_cast<std::uint16_t>(15 + dice.Below(length - 12));
  return unit;
}

inline void BuildRandomWorld(std::uint32_t seed, emulator::World& world) {
  Dice dice(seed);
  world.family = emulator::DeviceFamily::kPerPort;
  world.controllers.clear();
  world.recordRequests = false;
  for (int id = 0; id < 12; ++id) {
    if (!dice.OneIn(5)) continue;
    emulator::Controller c;
    c.scsiId = id;
    c.versions = emulator::VersionTexts{"M", "F", "B", "P", "A", "C", "Z-480"};
    const bool dense = dice.OneIn(2);  // well over the 64 display rows
    for (int n = 0; n < 16; ++n) {
      if (!dense && dice.OneIn(2)) continue;
      c.units.push_back(RandomUnit(dice, n, dense));
      const auto table = static_cast<std::uint16_t>(0x300 + n);
      if (dice.OneIn(20)) c.faults.parameters[{table, 3}].packetStatus = 0x0C;
      if (dice.OneIn(20)) c.faults.parameters[{table, 6}].packetStatus = 0x0C;
      if (dice.OneIn(25)) c.faults.parameters[{table, 4}].packetStatus = 0x0C;
      if (dice.OneIn(40)) c.faults.parameters[{table, 4}].error = 6;
      std::vector<emulator::Member> members = c.units.back().members;
      for (const auto& subunit : c.units.back().subunits)
        members.insert(members.end(), subunit.members.begin(), subunit.members.end());
      members.push_back({c.units.back().port, 0, 0});
      for (const emulator::Member& m : members) {
        if (m.port == 0xFF || c.FindDrive(m.port) != nullptr || dice.OneIn(10))
          continue;  // a port left empty
        c.drives.push_back({m.port, RandomText(dice, 40), RandomText(dice, 20), 2048});
        if (dice.OneIn(15))
          c.faults.parameters[{static_cast<std::uint16_t>(0x200 + m.port), 3}].packetStatus = 0x0C;
      }
    }
    if (dice.OneIn(4)) {  // a unit in the presence map that the controller does not describe
      emulator::Bytes map(16, 0);
      for (const auto& unit : c.units) map[static_cast<std::size_t>(unit.number)] = 1;
      map[static_cast<std::size_t>(dice.Below(16))] = 1;
      c.parameters[{3, 3}] = map;
    }
    if (dice.OneIn(30)) c.faults.parameters[{3, 3}].packetStatus = 0x0C;
    if (!c.units.empty() && dice.OneIn(6)) {  // the connection drops while a unit is read
      const int unit = c.units[static_cast<std::size_t>(dice.Below(static_cast<int>(c.units.size())))].number;
      auto& fault = c.faults.parameters[{static_cast<std::uint16_t>(0x300 + unit), dice.Pick({3, 4, 5})}];
      (dice.OneIn(2) ? fault.disconnect : fault.silent) = true;
    }
    world.controllers.push_back(c);
  }
}

// The device text as every face gives it.
inline std::string Printable(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\v\f");
  if (first == std::string::npos) return "";
  std::string out = text.substr(first, text.find_last_not_of(" \t\r\n\v\f") - first + 1);
  for (char& c : out) c = (c >= 0x20 && c < 0x7F) ? c : '?';
  return out;
}

inline std::string StatusWords(std::uint8_t status) {
  StatusTextBuffer text{};
  UnitStatusText(status, text);
  return text.data();
}

inline bool Well(const std::string& status) {
  return status == "OK" || status == "Normal";
}

// What the JSON document must say of one controller's units (number, read,
// type, sizeBytes, status, statusCode, needsAttention; each drive's port,
// model, serial, sizeBytes and status). Clears `complete` where the scan of
// the controller cannot be complete.
class WorldOracle {
 public:
  explicit WorldOracle(const emulator::Controller& c) : c_(c) {
    for (const auto& [key, fault] : c.faults.parameters)
      if (fault.disconnect || fault.silent) drop_ = key;
  }

  json Units(bool& complete) const {
    json units = json::array();
    if (Answer(3, 3) != kOk) return complete = false, units;
    emulator::Bytes map(16, 0);
    for (const auto& unit : c_.units) map[static_cast<std::size_t>(unit.number)] = 1;
    if (auto raw = c_.parameters.find({3, 3}); raw != c_.parameters.end()) map = raw->second;
    for (int n = 0; n < 16; ++n) {
      if (map[static_cast<std::size_t>(n)] == 0) continue;
      units.push_back(Unit(n, complete));
      // A call that failed with a system error makes the scan incomplete.
      for (std::uint8_t parameter : {3, 4, 5})
        if (Answer(static_cast<std::uint16_t>(0x300 + n), parameter) == kFailed) complete = false;
    }
    return units;
  }

 private:
  enum Reply { kOk, kRefused, kFailed };
  using Key = std::pair<std::uint16_t, std::uint8_t>;

  // The drop fails its own call and every later one; drive tables are only
  // read for units read before it.
  Reply Answer(std::uint16_t table, std::uint8_t parameter) const {
    if (table >= 0x300 && drop_.first != 0 && Key{table, parameter} >= drop_) return kFailed;
    if (auto fault = c_.faults.parameters.find({table, parameter}); fault != c_.faults.parameters.end()) {
      if (fault->second.error != 0) return kFailed;
      if (fault->second.packetStatus != 0) return kRefused;
    }
    if (table == 3) return kOk;  // the presence map
    const bool known =
        table >= 0x300 ? c_.FindUnit(table - 0x300) != nullptr : c_.FindDrive(table - 0x200) != nullptr;
    return known ? kOk : kRefused;
  }

  json Drive(const emulator::Unit& unit, const emulator::Member& m, int subunit, bool asked) const {
    const auto bit = static_cast<std::uint8_t>(m.index + 2 * subunit);
    const bool out =
        (unit.type == 2 || unit.type == 5 || unit.type == 6) && bit < 8 && (unit.notInService >> bit & 1);
    json drive = {{"port", m.port},
                  {"model", nullptr},
                  {"serial", nullptr},
                  {"sizeBytes", std::uint64_t{m.sectors} * 512},
                  {"status", out ? "Not in Service" : "In Service"}};
    if (m.port == 0xFF) return drive.update({{"port", nullptr}, {"status", "Error"}}), drive;
    const auto table = static_cast<std::uint16_t>(0x200 + m.port);
    if (asked && Answer(table, 3) == kOk) drive["model"] = Printable(c_.FindDrive(m.port)->model);
    if (asked && Answer(table, 4) == kOk) drive["serial"] = Printable(c_.FindDrive(m.port)->serial);
    return drive;
  }

  json Unit(int n, bool& complete) const {
    const auto table = static_cast<std::uint16_t>(0x300 + n);
    const emulator::Unit* w = c_.FindUnit(n);
    json unit = {
        {"number", n},       {"read", false},         {"type", nullptr},           {"sizeBytes", nullptr},
        {"status", nullptr}, {"statusCode", nullptr}, {"needsAttention", nullptr}, {"drives", json::array()}};
    bool trouble = false;
    const bool statusRead = Answer(table, 3) == kOk;
    if (statusRead) unit.update({{"statusCode", w->status}, {"status", StatusWords(w->status)}});
    if (statusRead) trouble = !Well(StatusWords(w->status));
    if (Answer(table, 4) == kOk) unit["sizeBytes"] = std::uint64_t{w->sectors} * 512;
    const int size = w != nullptr ? static_cast<int>(emulator::EncodeDescriptor(*w).size()) : 0;
    const int length =
        Answer(table, 5) == kOk ? ((w->descriptorSize ? *w->descriptorSize : size + 3) & 0xFF) - 3 : 0;
    const bool described = length >= 4 && Answer(table, 6) == kOk;
    bool whole = statusRead && described;
    if (described) {
      StatusTextBuffer type{};
      RaidTypeText(w->type, w->stripe, type);
      unit["type"] = type.data();
      // The entries of the bytes read: members, or a RAID 10's status header
      // and per subunit its entry and two drives.
      const int carried = length > 12 ? (length - 12) / 12 : 0;
      if (w->IsSingleDrive()) {
        const char* roles[] = {"RAID Disk", "Hot Spare Disk", "Single Drive", "Independent Disk"};
        unit["type"] = w->type >= 12 && w->type <= 15 ? roles[w->type - 12] : "Single Drive";
        unit["drives"].push_back(Drive(*w, {w->port, w->notInService, w->sectors}, 0, true));
      }
      for (int m = 0; m < static_cast<int>(w->members.size()) && m < carried; ++m)
        unit["drives"].push_back(Drive(*w, w->members[static_cast<std::size_t>(m)], 0,
                                       w->members[static_cast<std::size_t>(m)].port <= 8));
      for (int s = 0; s < static_cast<int>(w->subunits.size()) && 2 + 3 * s <= carried; ++s) {
        if (s < 4) trouble = trouble || !Well(StatusWords(w->subunits[static_cast<std::size_t>(s)].status));
        whole = whole && s < 4;
        for (int m = 0; m < 2 && 3 + 3 * s + m <= carried; ++m)
          unit["drives"].push_back(Drive(
              *w, w->subunits[static_cast<std::size_t>(s)].members[static_cast<std::size_t>(m)], s, true));
      }
      const auto listed =
          static_cast<int>(w->subunits.empty() ? w->members.size() : 1 + 3 * w->subunits.size());
      whole = whole && carried >= listed;
      for (const json& drive : unit["drives"]) trouble = trouble || drive["status"] != "In Service";
    }
    unit["read"] = whole;
    if (trouble || whole) unit["needsAttention"] = trouble;
    complete = complete && whole;
    return unit;
  }

  const emulator::Controller& c_;
  Key drop_{0, 0};
};

}  // namespace kivo::test
