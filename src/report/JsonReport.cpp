// JsonReport: writes the summary member by member; two-space indentation so
// that a person can read it too.
#include "report/JsonReport.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <type_traits>

namespace kivo {
namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

std::string Number(std::int64_t value) {
  char text[24];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc{} ? std::string(text, end) : std::string("0");
}

std::string Number(std::uint64_t value) {
  char text[24];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc{} ? std::string(text, end) : std::string("0");
}

// Writes the members of one object, each on its own line, comma-separated.
class Object {
 public:
  explicit Object(std::string indent) : indent_(std::move(indent)) {}
  Object& Member(const char* name, const std::string& json) {
    text_ += (text_.empty() ? "{\n" : ",\n") + indent_ + "  " + Quoted(name) + ": " + json;
    return *this;
  }
  std::string Close() const { return text_.empty() ? "{}" : text_ + "\n" + indent_ + "}"; }

 private:
  std::string indent_;
  std::string text_;
};

template <typename Items, typename Render>
std::string Array(const Items& items, const std::string& indent, Render render) {
  if (items.empty()) return "[]";
  std::string text = "[";
  for (const auto& item : items) text += (text.size() > 1 ? ",\n" : "\n") + indent + "  " + render(item);
  return text + "\n" + indent + "]";
}

std::string Bool(bool value) {
  return value ? "true" : "false";
}

std::string Text(const std::optional<std::string>& text) {
  return text ? Quoted(*text) : "null";
}

template <typename Value>
std::string NumberOrNull(const std::optional<Value>& value) {
  if (!value) return "null";
  if constexpr (std::is_signed_v<Value>) return Number(static_cast<std::int64_t>(*value));
  return Number(static_cast<std::uint64_t>(*value));
}

std::string Drive(const DriveSummary& drive, const std::string& indent) {
  return Object(indent)
      .Member("member", Number(static_cast<std::int64_t>(drive.member)))
      .Member("port", drive.port < 0 ? "null" : Number(static_cast<std::int64_t>(drive.port)))
      .Member("model", Text(drive.model))
      .Member("serial", Text(drive.serial))
      .Member("sizeBytes", Number(drive.sizeBytes))
      .Member("status", Quoted(drive.StatusText()))
      .Member("needsAttention", Bool(drive.state != DriveState::kInService))
      .Close();
}

std::string Unit(const UnitSummary& unit, const std::string& indent) {
  const std::string inner = indent + "  ";
  return Object(indent)
      .Member("number", Number(static_cast<std::int64_t>(unit.number)))
      .Member("read", Bool(unit.read))
      .Member("type", Text(unit.type))
      .Member("typeCode", NumberOrNull(unit.typeCode))
      .Member("sizeBytes", NumberOrNull(unit.sizeBytes))
      .Member("status", Text(unit.status))
      .Member("statusCode", NumberOrNull(unit.statusCode))
      .Member("needsAttention", unit.needsAttention ? Bool(*unit.needsAttention) : "null")
      .Member("subunits", Array(unit.subunits, inner,
                                [&](const SubunitSummary& subunit) {
                                  return Object(inner + "  ")
                                      .Member("type", Quoted(subunit.type))
                                      .Member("status", Text(subunit.status))
                                      .Close();
                                }))
      .Member("drives", Array(unit.drives, inner,
                              [&](const DriveSummary& drive) { return Drive(drive, inner + "  "); }))
      .Close();
}

std::string Controller(const ControllerSummary& controller, const std::string& indent) {
  const std::string inner = indent + "  ";
  Object object(indent);
  object.Member("id", Number(static_cast<std::int64_t>(controller.id)))
      .Member("status", Quoted(controller.StatusText()));
  if (controller.state == ControllerScanState::kRead) {
    object.Member("model", Quoted(controller.model))
        .Member("versions", Object(inner)
                                .Member("driver", Quoted(controller.driver))
                                .Member("monitor", Quoted(controller.monitor))
                                .Member("firmware", Quoted(controller.firmware))
                                .Member("bios", Quoted(controller.bios))
                                .Member("pcba", Quoted(controller.pcba))
                                .Member("aChip", Quoted(controller.aChip))
                                .Member("pChip", Quoted(controller.pChip))
                                .Close());
  }
  return object
      .Member("units", Array(controller.units, inner,
                             [&](const UnitSummary& unit) { return Unit(unit, inner + "  "); }))
      .Close();
}

}  // namespace

std::string JsonReport::Render(const ScanSummary& summary) {
  const std::string inner = "  ";
  return Object("")
             .Member("formatVersion", Number(static_cast<std::int64_t>(kJsonFormatVersion)))
             .Member("complete", Bool(summary.Complete()))
             .Member("controllerCount", Number(static_cast<std::int64_t>(summary.controllerCount)))
             .Member("controllers", Array(summary.controllers, inner,
                                          [&](const ControllerSummary& controller) {
                                            return Controller(controller, inner + "  ");
                                          }))
             .Member("errors",
                     Array(summary.errors, inner, [](const std::string& error) { return Quoted(error); }))
             .Close() +
         "\n";
}

}  // namespace kivo
