// World file reader: nlohmann-json parses, a small position index maps each
// value back to its line so that every complaint names file and line.
#include "emulator/WorldFile.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace kivo::emulator {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxFileSize = 16 * 1024 * 1024;
constexpr int kMaxNesting = 64;

struct Failure {
  std::size_t line;
  std::string reason;
};

std::size_t LineAt(const std::string& text, std::size_t offset) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
  }
  return line;
}

// Offsets of every value of an already valid JSON text, by path
// ("/controllers/0/units/1/type"); also finds a key given twice in one object
// (the parser silently keeps the last one).
class PositionIndex {
 public:
  explicit PositionIndex(const std::string& text) : text_(text) {
    Skip();
    Value("");
  }
  std::size_t Line(const std::string& path) const {
    auto found = offsets_.find(path);
    return found == offsets_.end() ? 0 : LineAt(text_, found->second);
  }
  const std::string& DuplicatePath() const { return duplicate_; }

 private:
  void Skip() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  std::string String() {
    std::string out;
    ++at_;  // opening quote
    while (at_ < text_.size() && text_[at_] != '"') {
      if (text_[at_] == '\\') {
        out += text_[at_++];
      }
      if (at_ < text_.size()) out += text_[at_++];
    }
    ++at_;
    return out;
  }
  void Value(const std::string& path) {
    if (at_ >= text_.size()) return;
    offsets_.emplace(path, at_);
    const char c = text_[at_];
    if (c == '{') {
      ++at_;
      std::set<std::string> keys;
      Skip();
      while (at_ < text_.size() && text_[at_] != '}') {
        const std::size_t keyAt = at_;
        std::string key = String();
        if (!keys.insert(key).second && duplicate_.empty()) {
          duplicate_ = path + "/" + key;
          offsets_[duplicate_ + "#key"] = keyAt;
        }
        Skip();
        ++at_;  // ':'
        Skip();
        Value(path + "/" + key);
        Skip();
        if (at_ < text_.size() && text_[at_] == ',') ++at_;
        Skip();
      }
      ++at_;
    } else if (c == '[') {
      ++at_;
      Skip();
      int index = 0;
      while (at_ < text_.size() && text_[at_] != ']') {
        Value(path + "/" + std::to_string(index++));
        Skip();
        if (at_ < text_.size() && text_[at_] == ',') ++at_;
        Skip();
      }
      ++at_;
    } else if (c == '"') {
      String();
    } else {
      while (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '}' && text_[at_] != ']' &&
             text_[at_] != ' ' && text_[at_] != '\n' && text_[at_] != '\r' && text_[at_] != '\t')
        ++at_;
    }
  }

  const std::string& text_;
  std::size_t at_ = 0;
  std::map<std::string, std::size_t> offsets_;
  std::string duplicate_;
};

// Reads one JSON document into a World, remembering the first complaint.
class Reader {
 public:
  Reader(const json& document, const PositionIndex& index) : document_(document), index_(index) {}

  bool Read(World& world) {
    const json& root = document_;
    if (!Object(root, "", "the world", {"comment", "family", "virtualDevice", "controllers"})) return false;
    world.family = DeviceFamily::kPerPort;
    if (root.contains("family")) {
      std::string family;
      if (!Text(root["family"], "/family", 16, family)) return false;
      if (family == "ports") {
        world.family = DeviceFamily::kPerPort;
      } else if (family == "virtual") {
        world.family = DeviceFamily::kVirtual;
      } else {
        return Fail("/family", "family must be \"ports\" or \"virtual\", not \"" + family + "\"");
      }
    }
    if (root.contains("controllers")) {
      const json& list = root["controllers"];
      if (!list.is_array()) return Fail("/controllers", "controllers must be a list");
      std::set<int> ports;
      for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string path = "/controllers/" + std::to_string(i);
        Controller controller;
        if (!ReadController(list[i], path, controller)) return false;
        if (!ports.insert(controller.scsiId).second) {
          return Fail(path + "/port", "duplicate controller port " + std::to_string(controller.scsiId));
        }
        world.controllers.push_back(std::move(controller));
      }
      std::sort(world.controllers.begin(), world.controllers.end(),
                [](const Controller& a, const Controller& b) { return a.scsiId < b.scsiId; });
    }
    world.virtualDevice = VirtualDevice{};
    world.virtualDevice.controllerCount = static_cast<std::uint32_t>(world.controllers.size());
    if (root.contains("virtualDevice")) {
      if (!ReadVirtualDevice(root["virtualDevice"], "/virtualDevice", world.virtualDevice)) return false;
    }
    return true;
  }

  const Failure& Complaint() const { return failure_; }

 private:
  bool Fail(const std::string& path, const std::string& reason) {
    if (failure_.reason.empty()) {
      std::size_t line = index_.Line(path);
      for (std::string parent = path; line == 0 && !parent.empty();) {
        parent.erase(parent.rfind('/'));
        line = index_.Line(parent);
      }
      failure_ = Failure{line == 0 ? 1 : line, reason};
    }
    return false;
  }

  bool Object(const json& value, const std::string& path, const std::string& what,
              std::initializer_list<const char*> fields) {
    if (!value.is_object()) return Fail(path, what + " must be an object");
    for (auto item = value.begin(); item != value.end(); ++item) {
      bool known = false;
      for (const char* field : fields) known = known || item.key() == field;
      if (!known) return Fail(path + "/" + item.key(), "unknown field \"" + item.key() + "\" in " + what);
    }
    return true;
  }

  // An integer, or a text "0x..." in hexadecimal, within [low, high].
  bool Number(const json& value, const std::string& path, std::int64_t low, std::int64_t high,
              std::int64_t& out) {
    const std::string name = path.substr(path.rfind('/') + 1);
    if (value.is_number_integer()) {
      if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(high)) return OutOfRange(path, name, low, high);
        out = static_cast<std::int64_t>(u);
      } else {
        out = value.get<std::int64_t>();
      }
    } else if (value.is_string()) {
      const std::string text = value.get<std::string>();
      if (text.size() < 3 || text.size() > 18 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
        return Fail(path, name + " must be a whole number (decimal, or a text \"0x...\")");
      }
      std::uint64_t u = 0;
      for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return Fail(path, name + " must be a whole number (decimal, or a text \"0x...\")");
        if (u > (static_cast<std::uint64_t>(high) >> 4)) return OutOfRange(path, name, low, high);
        u = u * 16 + static_cast<std::uint64_t>(digit);
      }
      if (u > static_cast<std::uint64_t>(high)) return OutOfRange(path, name, low, high);
      out = static_cast<std::int64_t>(u);
    } else {
      return Fail(path, name + " must be a whole number (decimal, or a text \"0x...\")");
    }
    if (out < low || out > high) return OutOfRange(path, name, low, high);
    return true;
  }

  bool OutOfRange(const std::string& path, const std::string& name, std::int64_t low, std::int64_t high) {
    return Fail(path, name + " outside " + std::to_string(low) + ".." + std::to_string(high));
  }

  template <typename T>
  bool Field(const json& object, const std::string& path, const char* key, std::int64_t low,
             std::int64_t high, T& out) {
    if (!object.contains(key)) return true;
    std::int64_t value = 0;
    if (!Number(object[key], path + "/" + key, low, high, value)) return false;
    out = static_cast<T>(value);
    return true;
  }

  template <typename T>
  bool Required(const json& object, const std::string& path, const char* key, const std::string& what,
                std::int64_t low, std::int64_t high, T& out) {
    if (!object.contains(key)) return Fail(path, what + " needs \"" + key + "\"");
    return Field(object, path, key, low, high, out);
  }

  bool Text(const json& value, const std::string& path, std::size_t limit, std::string& out) {
    const std::string name = path.substr(path.rfind('/') + 1);
    if (!value.is_string()) return Fail(path, name + " must be a text");
    out = value.get<std::string>();
    if (out.size() > limit) {
      return Fail(path, name + " longer than " + std::to_string(limit) + " characters");
    }
    if (out.find('\0') != std::string::npos) return Fail(path, name + " contains a zero character");
    return true;
  }

  bool TextField(const json& object, const std::string& path, const char* key, std::size_t limit,
                 std::string& out) {
    if (!object.contains(key)) return true;
    return Text(object[key], path + "/" + key, limit, out);
  }

  bool ByteList(const json& value, const std::string& path, std::size_t limit, Bytes& out) {
    if (!value.is_array()) return Fail(path, "bytes must be a list of numbers 0..255");
    if (value.size() > limit) return Fail(path, "more than " + std::to_string(limit) + " bytes");
    out.clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
      std::int64_t byte = 0;
      if (!Number(value[i], path + "/" + std::to_string(i), 0, 255, byte)) return false;
      out.push_back(static_cast<std::uint8_t>(byte));
    }
    return true;
  }

  bool ReadVirtualDevice(const json& value, const std::string& path, VirtualDevice& device) {
    if (!Object(value, path, "the virtual device",
                {"comment", "version", "controllers", "openError", "handshakeError", "replyLength",
                 "signature"})) {
      return false;
    }
    return TextField(value, path, "version", 44, device.version) &&
           Field(value, path, "controllers", 0, 0xFFFFFFFF, device.controllerCount) &&
           Field(value, path, "openError", 0, 0xFFFFFFFF, device.openError) &&
           Field(value, path, "handshakeError", 0, 0xFFFFFFFF, device.handshakeError) &&
           Field(value, path, "replyLength", 0, 0xFFFF, device.replyLength) &&
           TextField(value, path, "signature", 4, device.signature);
  }

  bool ReadController(const json& value, const std::string& path, Controller& controller) {
    if (!Object(value, path, "a controller",
                {"comment", "port", "driver", "level", "extra", "versions", "drives", "units", "unitCount",
                 "parameters", "faults"})) {
      return false;
    }
    controller.driverText = "Zelka driver";
    if (!Required(value, path, "port", "a controller", 0, kMaxScsiId, controller.scsiId) ||
        !TextField(value, path, "driver", 41, controller.driverText) ||
        !Field(value, path, "level", 0, 0xFFFF, controller.level) ||
        !Field(value, path, "extra", 0, 0xFFFFFFFF, controller.extra)) {
      return false;
    }
    if (value.contains("unitCount")) {
      std::uint16_t count = 0;
      if (!Field(value, path, "unitCount", 0, 0xFFFF, count)) return false;
      controller.unitCount = count;
    }
    if (value.contains("versions")) {
      const json& v = value["versions"];
      const std::string at = path + "/versions";
      VersionTexts& texts = controller.versions;
      if (!Object(v, at, "the versions",
                  {"comment", "monitor", "firmware", "bios", "pcba", "aChip", "pChip", "model"}) ||
          !TextField(v, at, "monitor", 16, texts.monitor) ||
          !TextField(v, at, "firmware", 16, texts.firmware) || !TextField(v, at, "bios", 16, texts.bios) ||
          !TextField(v, at, "pcba", 8, texts.pcba) || !TextField(v, at, "aChip", 8, texts.aChip) ||
          !TextField(v, at, "pChip", 8, texts.pChip) || !TextField(v, at, "model", 16, texts.model)) {
        return false;
      }
    }
    if (value.contains("drives")) {
      const json& list = value["drives"];
      if (!list.is_array()) return Fail(path + "/drives", "drives must be a list");
      for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string at = path + "/drives/" + std::to_string(i);
        Drive drive;
        if (!Object(list[i], at, "a drive", {"comment", "port", "model", "serial", "sectors"}) ||
            !Required(list[i], at, "port", "a drive", 0, 254, drive.port) ||
            !TextField(list[i], at, "model", 40, drive.model) ||
            !TextField(list[i], at, "serial", 20, drive.serial) ||
            !Field(list[i], at, "sectors", 0, 0xFFFFFFFF, drive.sectors)) {
          return false;
        }
        if (controller.FindDrive(drive.port) != nullptr) {
          return Fail(at + "/port", "duplicate drive port " + std::to_string(drive.port));
        }
        controller.drives.push_back(std::move(drive));
      }
    }
    if (value.contains("units")) {
      const json& list = value["units"];
      if (!list.is_array()) return Fail(path + "/units", "units must be a list");
      for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string at = path + "/units/" + std::to_string(i);
        Unit unit;
        if (!ReadUnit(list[i], at, controller, unit)) return false;
        if (controller.FindUnit(unit.number) != nullptr) {
          return Fail(at + "/number",
                      "impossible unit: unit " + std::to_string(unit.number) + " given twice");
        }
        controller.units.push_back(std::move(unit));
      }
    }
    if (value.contains("parameters")) {
      const json& list = value["parameters"];
      if (!list.is_array()) return Fail(path + "/parameters", "parameters must be a list");
      for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string at = path + "/parameters/" + std::to_string(i);
        ParameterKey key;
        Bytes bytes;
        if (!Object(list[i], at, "a parameter", {"comment", "table", "parameter", "bytes", "text"}) ||
            !Required(list[i], at, "table", "a parameter", 0, 0xFFFF, key.first) ||
            !Required(list[i], at, "parameter", "a parameter", 0, 255, key.second)) {
          return false;
        }
        if (list[i].contains("bytes") == list[i].contains("text")) {
          return Fail(at, "a parameter needs either \"bytes\" or \"text\"");
        }
        if (list[i].contains("bytes")) {
          if (!ByteList(list[i]["bytes"], at + "/bytes", 508, bytes)) return false;
        } else {
          std::string text;
          if (!Text(list[i]["text"], at + "/text", 508, text)) return false;
          bytes.assign(text.begin(), text.end());
        }
        controller.parameters[key] = std::move(bytes);
      }
    }
    if (value.contains("faults") && !ReadFaults(value["faults"], path + "/faults", controller.faults))
      return false;
    return true;
  }

  bool ReadFaults(const json& value, const std::string& path, ControllerFaults& faults) {
    if (!Object(value, path, "the faults",
                {"comment", "openError", "openIdentifyError", "queryDriverError", "levelAfterAttempts",
                 "neverReportsLevel", "parameters"}) ||
        !Field(value, path, "openError", 0, 0xFFFFFFFF, faults.openError) ||
        !Field(value, path, "openIdentifyError", 0, 0xFFFFFFFF, faults.openIdentifyError) ||
        !Field(value, path, "queryDriverError", 0, 0xFFFFFFFF, faults.queryDriverError) ||
        !Field(value, path, "levelAfterAttempts", 0, 1000000, faults.levelAfterAttempts)) {
      return false;
    }
    if (value.contains("neverReportsLevel")) {
      if (!value["neverReportsLevel"].is_boolean()) {
        return Fail(path + "/neverReportsLevel", "neverReportsLevel must be true or false");
      }
      if (value["neverReportsLevel"].get<bool>()) faults.levelAfterAttempts = -1;
    }
    if (value.contains("parameters")) {
      const json& list = value["parameters"];
      if (!list.is_array()) return Fail(path + "/parameters", "parameters must be a list");
      for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string at = path + "/parameters/" + std::to_string(i);
        ParameterKey key;
        ParameterFault fault;
        if (!Object(list[i], at, "a parameter fault",
                    {"comment", "table", "parameter", "status", "error", "disconnect", "silent"}) ||
            !Required(list[i], at, "table", "a parameter fault", 0, 0xFFFF, key.first) ||
            !Required(list[i], at, "parameter", "a parameter fault", 0, 255, key.second) ||
            !Field(list[i], at, "status", 0, 255, fault.packetStatus) ||
            !Field(list[i], at, "error", 0, 0xFFFFFFFF, fault.error)) {
          return false;
        }
        if (list[i].contains("disconnect")) {
          if (!list[i]["disconnect"].is_boolean())
            return Fail(at + "/disconnect", "disconnect must be true or false");
          fault.disconnect = list[i]["disconnect"].get<bool>();
        }
        if (list[i].contains("silent")) {
          if (!list[i]["silent"].is_boolean()) return Fail(at + "/silent", "silent must be true or false");
          fault.silent = list[i]["silent"].get<bool>();
        }
        if (fault.packetStatus == 0 && fault.error == 0 && !fault.disconnect && !fault.silent) {
          return Fail(at,
                      "a parameter fault needs a nonzero \"status\" or \"error\", or \"disconnect\" or "
                      "\"silent\": true");
        }
        faults.parameters[key] = fault;
      }
    }
    return true;
  }

  bool ReadMember(const json& value, const std::string& path, const Controller& controller,
                  std::size_t position, Member& member) {
    std::int64_t port = 0;
    member.index = static_cast<std::uint8_t>(position);
    if (value.is_object()) {
      if (!Object(value, path, "a member", {"comment", "port", "index", "sectors"}) ||
          !Required(value, path, "port", "a member", 0, 255, port) ||
          !Field(value, path, "index", 0, 255, member.index)) {
        return false;
      }
    } else if (!Number(value, path, 0, 255, port)) {
      return false;
    }
    member.port = static_cast<std::uint8_t>(port);
    const Drive* drive = controller.FindDrive(member.port);
    member.sectors = drive ? drive->sectors : 0;
    if (value.is_object()) return Field(value, path, "sectors", 0, 0xFFFFFFFF, member.sectors);
    return true;
  }

  bool ReadUnit(const json& value, const std::string& path, const Controller& controller, Unit& unit) {
    if (!Object(value, path, "a unit",
                {"comment", "number", "type", "stripe", "status", "sectors", "notInService", "members",
                 "subunits", "port", "descriptor", "descriptorSize"}) ||
        !Required(value, path, "number", "a unit", 0, kUnitNumbers - 1, unit.number) ||
        !Required(value, path, "type", "a unit", 0, 255, unit.type) ||
        !Field(value, path, "stripe", 0, 255, unit.stripe) ||
        !Field(value, path, "status", 0, 255, unit.status) ||
        !Field(value, path, "notInService", 0, 255, unit.notInService)) {
      return false;
    }
    const bool hasMembers = value.contains("members");
    const bool hasSubunits = value.contains("subunits");
    const bool hasPort = value.contains("port");
    const bool hasRaw = value.contains("descriptor");
    if (hasMembers + hasSubunits + hasPort > 1) {
      return Fail(path, "impossible unit: give only one of \"members\", \"subunits\" and \"port\"");
    }
    if (hasMembers) {
      const json& list = value["members"];
      if (!list.is_array() || list.empty())
        return Fail(path + "/members", "members must be a list of drives");
      if (list.size() > 255) return Fail(path + "/members", "impossible unit: more than 255 members");
      for (std::size_t i = 0; i < list.size(); ++i) {
        Member member;
        if (!ReadMember(list[i], path + "/members/" + std::to_string(i), controller, i, member)) return false;
        unit.members.push_back(member);
      }
      if (unit.type == 6 && !hasRaw) {
        return Fail(path, "impossible unit: a RAID 10 unit (type 6) is made of \"subunits\"");
      }
    }
    if (hasSubunits) {
      if (unit.type != 6) return Fail(path + "/subunits", "impossible unit: only type 6 has subunits");
      const json& list = value["subunits"];
      if (!list.is_array() || list.empty()) return Fail(path + "/subunits", "subunits must be a list");
      for (std::size_t s = 0; s < list.size(); ++s) {
        const std::string at = path + "/subunits/" + std::to_string(s);
        Subunit subunit;
        if (!Object(list[s], at, "a subunit", {"comment", "status", "members"}) ||
            !Field(list[s], at, "status", 0, 255, subunit.status)) {
          return false;
        }
        if (!list[s].contains("members") || !list[s]["members"].is_array() ||
            list[s]["members"].size() != 2) {
          return Fail(at, "impossible unit: a subunit mirrors exactly two members");
        }
        for (std::size_t i = 0; i < 2; ++i) {
          Member member;
          if (!ReadMember(list[s]["members"][i], at + "/members/" + std::to_string(i), controller, i,
                          member)) {
            return false;
          }
          subunit.members.push_back(member);
        }
        unit.subunits.push_back(std::move(subunit));
      }
    }
    if (hasPort) {
      if (!Field(value, path, "port", 0, 255, unit.port)) return false;
    } else if (!hasMembers && !hasSubunits && !hasRaw) {
      return Fail(path,
                  "impossible unit: give its \"members\", \"subunits\" or, for a single drive, \"port\"");
    }
    if (!hasMembers && !hasSubunits && unit.type == 6 && !hasRaw) {
      return Fail(path, "impossible unit: a RAID 10 unit (type 6) is made of \"subunits\"");
    }
    unit.sectors = 0;
    if (unit.IsSingleDrive()) {
      if (const Drive* drive = controller.FindDrive(unit.port)) unit.sectors = drive->sectors;
    }
    if (!Field(value, path, "sectors", 0, 0xFFFFFFFF, unit.sectors)) return false;
    if (hasRaw) {
      Bytes raw;
      if (!ByteList(value["descriptor"], path + "/descriptor", 508, raw)) return false;
      unit.rawDescriptor = std::move(raw);
    }
    if (value.contains("descriptorSize")) {
      std::uint16_t size = 0;
      if (!Field(value, path, "descriptorSize", 0, 0xFFFF, size)) return false;
      unit.descriptorSize = size;
    }
    if (!hasRaw && EncodeDescriptor(unit).size() > kMaxDescriptorLength) {
      return Fail(path, "impossible unit: its descriptor would be longer than " +
                            std::to_string(kMaxDescriptorLength) + " bytes");
    }
    return true;
  }

  const json& document_;
  const PositionIndex& index_;
  Failure failure_{0, ""};
};

// Nesting depth check before parsing, so that no deep document reaches the
// recursive parts of the parser.
bool NestingIsBounded(const std::string& text, std::size_t& offset) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxNesting) {
        offset = i;
        return false;
      }
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return true;
}

std::string Message(const std::string& source, std::size_t line, const std::string& reason) {
  return source + ":" + std::to_string(line) + ": " + reason;
}

}  // namespace

bool LoadWorldText(const std::string& text, const std::string& sourceName, World& world, std::string* error) {
  std::string ignored;
  std::string& message = error ? *error : ignored;
  try {
    std::size_t deepAt = 0;
    if (!NestingIsBounded(text, deepAt)) {
      message =
          Message(sourceName, LineAt(text, deepAt), "nested deeper than " + std::to_string(kMaxNesting));
      return false;
    }
    json document;
    try {
      document = json::parse(text);
    } catch (const json::parse_error& e) {
      // The parser's message reads "[json.exception.parse_error.101] parse
      // error at line L, column C: REASON"; keep the reason, count the line
      // from the byte position.
      std::string reason = e.what();
      if (auto at = reason.find("column "); at != std::string::npos) {
        if (auto colon = reason.find(": ", at); colon != std::string::npos) reason = reason.substr(colon + 2);
      }
      const std::size_t offset = e.byte == 0 ? 0 : static_cast<std::size_t>(e.byte - 1);
      message = Message(sourceName, LineAt(text, offset), "syntax error: " + reason);
      return false;
    }
    PositionIndex index(text);
    if (!index.DuplicatePath().empty()) {
      const std::string& path = index.DuplicatePath();
      message = Message(sourceName, index.Line(path + "#key"),
                        "field \"" + path.substr(path.rfind('/') + 1) + "\" given twice");
      return false;
    }
    World loaded;
    Reader reader(document, index);
    if (!reader.Read(loaded)) {
      message = Message(sourceName, reader.Complaint().line, reader.Complaint().reason);
      return false;
    }
    std::lock_guard lock(world.mutex);
    world.CopyConfigurationFrom(loaded);
    world.received.clear();
    world.deviceCalls = 0;
    world.serviceCalls = 0;
    return true;
  } catch (const std::exception& e) {
    message = Message(sourceName, 1, std::string("cannot read the world: ") + e.what());
    return false;
  }
}

bool LoadWorldFile(const std::string& path, World& world, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = path + ":0: cannot open the file";
    return false;
  }
  std::ostringstream content;
  content << file.rdbuf();
  if (content.str().size() > kMaxFileSize) {
    if (error) *error = path + ":0: larger than 16 MiB";
    return false;
  }
  return LoadWorldText(content.str(), path, world, error);
}

std::string DefaultWorldFilePath() {
  return std::string(KIVO_SOURCE_DIR) + "/emulator/worlds/default.json";
}

}  // namespace kivo::emulator
