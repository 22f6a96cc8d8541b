// The ctl commands: argument checks with clear errors, then the change to the
// world or the service under the world's lock.
#include "emulator/ControlCommand.h"

#include <charconv>
#include <chrono>
#include <mutex>

#include "emulator/WorldEvents.h"

namespace kivo::emulator {

namespace {

// Decimal, or hexadecimal after "0x"; the whole word, within [low, high].
bool ParseNumber(const std::string& word, long low, long high, long* value) {
  const char* begin = word.data();
  const char* end = word.data() + word.size();
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    begin += 2;
    base = 16;
  }
  if (begin == end) return false;
  long parsed = 0;
  auto [ptr, ec] = std::from_chars(begin, end, parsed, base);
  if (ec != std::errc() || ptr != end || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

std::string Line(std::string text) {
  if (text.empty() || text.back() != '\n') text += '\n';
  return text;
}
ControlReply Fail(std::string text) {
  return ControlReply{false, Line(std::move(text))};
}
ControlReply Ok(std::string text) {
  return ControlReply{true, Line(std::move(text))};
}

struct Argument {
  const char* name;
  long low;
  long high;
};

// Checks the count and the ranges of the arguments after the command word.
bool ParseArguments(const std::vector<std::string>& words, std::initializer_list<Argument> required,
                    std::initializer_list<Argument> optional, std::vector<long>* values, std::string* error) {
  std::size_t given = words.size() - 1;
  if (given < required.size() || given > required.size() + optional.size()) {
    *error = "wrong number of arguments for " + words[0] + "; usage: " + words[0];
    for (const Argument& a : required) *error += std::string(" ") + a.name;
    for (const Argument& a : optional) *error += std::string(" [") + a.name + "]";
    return false;
  }
  std::vector<Argument> all(required);
  all.insert(all.end(), optional.begin(), optional.end());
  for (std::size_t i = 0; i < given; ++i) {
    long value = 0;
    if (!ParseNumber(words[i + 1], all[i].low, all[i].high, &value)) {
      *error = std::string(all[i].name) + " must be a number from " + std::to_string(all[i].low) + " to " +
               std::to_string(all[i].high) + ", not '" + words[i + 1] + "'";
      return false;
    }
    values->push_back(value);
  }
  return true;
}

constexpr Argument kController{"CONTROLLER", 0, 11};
constexpr Argument kCode{"CODE", 1, 255};
constexpr Argument kUnitByte{"UNIT", 0, 255};
constexpr Argument kPort{"PORT", 0, 254};
constexpr Argument kUnit{"UNIT", 0, 15};
constexpr Argument kCount{"COUNT", 1, kMaxSeriesCount};
constexpr Argument kInterval{"INTERVAL_MS", 0, 3600000};

}  // namespace

std::string ControlUsage() {
  return "usage: zelka-emulator ctl [--rpc-dir DIR] COMMAND [ARGUMENTS]\n"
         "commands:\n"
         "  aen CONTROLLER CODE [UNIT]      queue AEN CODE (1-255) with a unit or port number (default 0)\n"
         "  aen-series CONTROLLER CODE COUNT [INTERVAL_MS]\n"
         "                                  raise AEN CODE COUNT times, units numbered from 0, one every\n"
         "                                  INTERVAL_MS ms (default 0: all at once, a burst)\n"
         "  fail-drive CONTROLLER PORT      the drive fails: its unit degrades, AEN 2 is queued\n"
         "  rebuild-start CONTROLLER UNIT   the unit starts rebuilding, AEN 11 is queued\n"
         "  rebuild-finish CONTROLLER UNIT  the unit is rebuilt, AEN 5 is queued\n"
         "  service-stop                    stop the service endpoint (calls fail)\n"
         "  service-start                   start the service endpoint again\n"
         "  calls                           count of device and RPC calls answered so far\n";
}

ControlReply RunControlCommand(World& world, ServiceSwitch* service, const std::vector<std::string>& words) {
  if (words.empty()) return Fail("no command given\n" + ControlUsage());
  const std::string& command = words[0];
  std::vector<long> v;
  std::string error;

  if (command == "aen") {
    if (!ParseArguments(words, {kController, kCode}, {kUnitByte}, &v, &error)) return Fail(error);
    long unit = v.size() > 2 ? v[2] : 0;
    std::lock_guard<std::mutex> lock(world.mutex);
    if (!QueueNotification(world, static_cast<int>(v[0]), static_cast<std::uint8_t>(v[1]),
                           static_cast<std::uint8_t>(unit), &error)) {
      return Fail(error);
    }
    return Ok("AEN " + std::to_string(v[1]) + " with unit " + std::to_string(unit) +
              " queued on controller " + std::to_string(v[0]));
  }
  if (command == "aen-series") {
    if (!ParseArguments(words, {kController, kCode, kCount}, {kInterval}, &v, &error)) return Fail(error);
    const long interval = v.size() > 3 ? v[3] : 0;
    std::lock_guard<std::mutex> lock(world.mutex);
    if (!QueueNotificationSeries(world, static_cast<int>(v[0]), static_cast<std::uint8_t>(v[1]),
                                 static_cast<int>(v[2]), std::chrono::milliseconds(interval), &error)) {
      return Fail(error);
    }
    std::string text = std::to_string(v[2]) + " x AEN " + std::to_string(v[1]) + " on controller " +
                       std::to_string(v[0]) + ", units numbered from 0, ";
    text += interval == 0 ? "queued at once" : "one every " + std::to_string(interval) + " ms from now";
    return Ok(text);
  }
  if (command == "fail-drive" || command == "rebuild-start" || command == "rebuild-finish") {
    bool drive = command == "fail-drive";
    if (!ParseArguments(words, {kController, drive ? kPort : kUnit}, {}, &v, &error)) return Fail(error);
    std::lock_guard<std::mutex> lock(world.mutex);
    int controller = static_cast<int>(v[0]);
    int target = static_cast<int>(v[1]);
    bool done = drive                        ? FailDrive(world, controller, target, &error)
                : command == "rebuild-start" ? StartRebuild(world, controller, target, &error)
                                             : FinishRebuild(world, controller, target, &error);
    return done ? Ok(error) : Fail(error);
  }
  if (command == "service-stop" || command == "service-start") {
    if (!ParseArguments(words, {}, {}, &v, &error)) return Fail(error);
    if (!service) return Fail("this emulator has no service side");
    if (command == "service-stop") {
      bool was = service->Running();
      service->Stop();
      return Ok(was ? "service stopped" : "service was not running");
    }
    if (service->Running()) return Ok("service was already running");
    if (!service->Start(&error)) return Fail("service did not start: " + error);
    return Ok("service started");
  }
  if (command == "calls") {
    if (!ParseArguments(words, {}, {}, &v, &error)) return Fail(error);
    std::lock_guard<std::mutex> lock(world.mutex);
    return Ok("device calls: " + std::to_string(world.deviceCalls) +
              "\nrpc calls: " + std::to_string(world.serviceCalls));
  }
  return Fail("unknown command '" + command + "'\n" + ControlUsage());
}

}  // namespace kivo::emulator
