// World files: the built-in world and its file agree, and every kind of bad
// file is refused with file, line and reason.
#include "emulator/WorldFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <random>
#include <sstream>
#include <string>

namespace kivo::emulator {
namespace {

TEST(WorldFileTest, DefaultFileEqualsBuiltInWorld) {
  World fromFile;
  std::string error;
  ASSERT_TRUE(LoadWorldFile(DefaultWorldFilePath(), fromFile, &error)) << error;
  World builtIn;
  BuildDefaultWorld(builtIn);
  EXPECT_TRUE(fromFile.SameConfiguration(builtIn));
  ASSERT_EQ(fromFile.controllers.size(), 2u);
  EXPECT_EQ(fromFile.controllers[0].units[1].sectors, 78165360u);
}

TEST(WorldFileTest, DefaultWorldHasTheFourKindsOfUnit) {
  World world;
  BuildDefaultWorld(world);
  ASSERT_EQ(world.controllers.size(), 2u);
  EXPECT_EQ(world.controllers[0].units[0].type, 5);
  EXPECT_EQ(world.controllers[0].units[1].type, 13);
  EXPECT_EQ(world.controllers[1].units[0].type, 6);
  EXPECT_EQ(world.controllers[1].units[1].type, 15);
}

TEST(WorldFileTest, MinimalControllerGetsDefaults) {
  World world;
  std::string error;
  ASSERT_TRUE(LoadWorldText(R"({"controllers": [{"port": 4}]})", "mini.json", world, &error)) << error;
  ASSERT_EQ(world.controllers.size(), 1u);
  EXPECT_EQ(world.controllers[0].scsiId, 4);
  EXPECT_EQ(world.controllers[0].level, 3);
  EXPECT_EQ(world.controllers[0].driverText, "Zelka driver");
  EXPECT_EQ(world.family, DeviceFamily::kPerPort);
}

TEST(WorldFileTest, VirtualFamilyCountsItsControllersByDefault) {
  World world;
  std::string error;
  ASSERT_TRUE(LoadWorldText(R"({"family": "virtual", "virtualDevice": {"version": "VSD 1.2"},
                               "controllers": [{"port": 0}, {"port": 1}]})",
                            "v.json", world, &error))
      << error;
  EXPECT_EQ(world.family, DeviceFamily::kVirtual);
  EXPECT_EQ(world.virtualDevice.controllerCount, 2u);
  EXPECT_EQ(world.virtualDevice.version, "VSD 1.2");
}

TEST(WorldFileTest, HexadecimalTextsAreNumbers) {
  World world;
  std::string error;
  ASSERT_TRUE(LoadWorldText(R"({"controllers": [{"port": "0x3", "faults": {"parameters":
                               [{"table": "0x402", "parameter": 4, "status": "0x0C"}]}}]})",
                            "hex.json", world, &error))
      << error;
  const auto& faults = world.controllers[0].faults.parameters;
  ASSERT_EQ(faults.count({0x402, 4}), 1u);
  EXPECT_EQ(faults.at({0x402, 4}).packetStatus, 0x0C);
}

TEST(WorldFileTest, FailedLoadLeavesTheWorldAlone) {
  World world;
  BuildDefaultWorld(world);
  std::string error;
  EXPECT_FALSE(LoadWorldText(R"({"controllers": [{"port": 12}]})", "x.json", world, &error));
  EXPECT_EQ(world.controllers.size(), 2u);
}

struct BadWorld {
  const char* name;
  const char* text;
  const char* expected;  // the whole message
};

// Test names and messages show the case name, not its bytes.
void PrintTo(const BadWorld& c, std::ostream* os) {
  *os << c.name;
}

class BadWorldFileTest : public ::testing::TestWithParam<BadWorld> {};

TEST_P(BadWorldFileTest, IsRefusedWithLineAndReason) {
  World world;
  std::string error;
  EXPECT_FALSE(LoadWorldText(GetParam().text, "w.json", world, &error));
  EXPECT_EQ(error, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadWorldFileTest,
    ::testing::Values(
        BadWorld{
            "SyntaxError", "{\n  \"controllers\": [\n    {\"port\": 1,}\n  ]\n}",
            "w.json:3: syntax error: syntax error while parsing object key - unexpected '}'; expected string "
            "literal"},
        BadWorld{"UnknownTopField", "{\n\"controlers\": []\n}",
                 "w.json:2: unknown field \"controlers\" in the world"},
        BadWorld{"UnknownControllerField", "{\"controllers\": [\n{\"port\": 1,\n \"colour\": 2}]}",
                 "w.json:3: unknown field \"colour\" in a controller"},
        BadWorld{"PortTooHigh", "{\"controllers\": [\n\n{\"port\": 12}]}", "w.json:3: port outside 0..11"},
        BadWorld{"PortNegative", "{\"controllers\": [{\"port\": -1}]}", "w.json:1: port outside 0..11"},
        BadWorld{"PortMissing", "{\"controllers\": [\n{\"level\": 1}]}",
                 "w.json:2: a controller needs \"port\""},
        BadWorld{"DuplicatePort", "{\"controllers\": [{\"port\": 1},\n{\"port\": 1}]}",
                 "w.json:2: duplicate controller port 1"},
        BadWorld{"DuplicateDrivePort",
                 "{\"controllers\": [{\"port\": 1, \"drives\": [{\"port\": 2},\n{\"port\": 2}]}]}",
                 "w.json:2: duplicate drive port 2"},
        BadWorld{"DuplicateKey", "{\"controllers\": [{\"port\": 1,\n\"port\": 2}]}",
                 "w.json:2: field \"port\" given twice"},
        BadWorld{"WrongType", "{\"controllers\": [{\"port\": \"one\"}]}",
                 "w.json:1: port must be a whole number (decimal, or a text \"0x...\")"},
        BadWorld{"Fraction", "{\"controllers\": [{\"port\": 1.5}]}",
                 "w.json:1: port must be a whole number (decimal, or a text \"0x...\")"},
        BadWorld{"BadHex", "{\"controllers\": [{\"port\": \"0xg\"}]}",
                 "w.json:1: port must be a whole number (decimal, or a text \"0x...\")"},
        BadWorld{"HugeNumber", "{\"controllers\": [{\"port\": 0, \"extra\": 4294967296}]}",
                 "w.json:1: extra outside 0..4294967295"},
        BadWorld{"NotAnObject", "[1, 2]", "w.json:1: the world must be an object"},
        BadWorld{"ControllersNotAList", "{\"controllers\": {}}", "w.json:1: controllers must be a list"},
        BadWorld{"Trailing", "{}\n\n}",
                 "w.json:3: syntax error: syntax error while parsing value - unexpected '}'; expected end of "
                 "input"},
        BadWorld{"StatusTooBig",
                 "{\"controllers\": [{\"port\": 0, \"units\": [\n{\"number\": 0, \"type\": 15, \"port\": 1,\n"
                 "\"status\": 256}]}]}",
                 "w.json:3: status outside 0..255"},
        BadWorld{
            "DriverTooLong",
            "{\"controllers\": [{\"port\": 0, \"driver\": \"123456789012345678901234567890123456789012\"}]}",
            "w.json:1: driver longer than 41 characters"},
        BadWorld{"UnitTwice",
                 "{\"controllers\": [{\"port\": 0, \"units\": [{\"number\": 0, \"type\": 15, \"port\": 1},\n"
                 "{\"number\": 0, \"type\": 15, \"port\": 2}]}]}",
                 "w.json:2: impossible unit: unit 0 given twice"},
        BadWorld{"UnitNumberTooHigh",
                 "{\"controllers\": [{\"port\": 0, \"units\": [{\"number\": 16, \"type\": 15}]}]}",
                 "w.json:1: number outside 0..15"},
        BadWorld{"Raid10WithoutSubunits",
                 "{\"controllers\": [{\"port\": 0, \"units\": [\n{\"number\": 0, \"type\": 6, \"members\": "
                 "[0, 1]}]}]}",
                 "w.json:2: impossible unit: a RAID 10 unit (type 6) is made of \"subunits\""},
        BadWorld{"SubunitsWithoutRaid10",
                 "{\"controllers\": [{\"port\": 0, \"units\": [{\"number\": 0, \"type\": 5,\n"
                 "\"subunits\": [{\"members\": [0, 1]}]}]}]}",
                 "w.json:2: impossible unit: only type 6 has subunits"},
        BadWorld{"SubunitOfThree",
                 "{\"controllers\": [{\"port\": 0, \"units\": [{\"number\": 0, \"type\": 6, \"subunits\": [\n"
                 "{\"members\": [0, 1, 2]}]}]}]}",
                 "w.json:2: impossible unit: a subunit mirrors exactly two members"},
        BadWorld{
            "UnitWithNothing",
            "{\"controllers\": [{\"port\": 0, \"units\": [\n{\"number\": 0, \"type\": 5}]}]}",
            "w.json:2: impossible unit: give its \"members\", \"subunits\" or, for a single drive, \"port\""},
        BadWorld{"MembersAndPort",
                 "{\"controllers\": [{\"port\": 0, \"units\": [\n{\"number\": 0, \"type\": 5, \"port\": 1, "
                 "\"members\": [0]}]}]}",
                 "w.json:2: impossible unit: give only one of \"members\", \"subunits\" and \"port\""},
        BadWorld{"BadFamily", "{\"family\": \"usb\"}",
                 "w.json:1: family must be \"ports\" or \"virtual\", not \"usb\""},
        BadWorld{"TooDeep",
                 "{\"comment\":\n[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]}",
                 "w.json:2: nested deeper than 64"},
        BadWorld{"EmptyFault",
                 "{\"controllers\": [{\"port\": 0, \"faults\": {\"parameters\": [\n"
                 "{\"table\": 3, \"parameter\": 2}]}}]}",
                 "w.json:2: a parameter fault needs a nonzero \"status\" or \"error\", or \"disconnect\" or "
                 "\"silent\": true"}),
    [](const ::testing::TestParamInfo<BadWorld>& info) { return std::string(info.param.name); });

TEST(WorldFileTest, DamagedCopiesOfTheDefaultFileNeverBreakTheReader) {
  std::ifstream file(DefaultWorldFilePath(), std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  const std::string original = content.str();
  ASSERT_FALSE(original.empty());
  std::mt19937 random(8122026);
  int accepted = 0;
  for (int i = 0; i < 1500; ++i) {
    std::string text = original;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const std::size_t at = random() % text.size();
      switch (random() % 3) {
        case 0:
          text[at] = static_cast<char>(random());
          break;
        case 1:
          text.erase(at, 1 + random() % 8);
          break;
        default:
          text.insert(at, 1, "{}[]\",:0x9"[random() % 11]);
          break;
      }
      if (text.empty()) text = "{";
    }
    World world;
    std::string error;
    if (LoadWorldText(text, "d.json", world, &error)) {
      ++accepted;
    } else {
      EXPECT_EQ(error.rfind("d.json:", 0), 0u) << error;
    }
  }
  EXPECT_LT(accepted, 1500);
}

TEST(WorldFileTest, MissingFileIsReported) {
  World world;
  std::string error;
  EXPECT_FALSE(LoadWorldFile("/nonexistent/w.json", world, &error));
  EXPECT_EQ(error, "/nonexistent/w.json:0: cannot open the file");
}

TEST(WorldFileTest, LongMemberListIsImpossible) {
  std::string members;
  for (int i = 0; i < 21; ++i) members += (i ? ", " : "") + std::to_string(i);
  World world;
  std::string error;
  EXPECT_FALSE(LoadWorldText(
      "{\"controllers\": [{\"port\": 0, \"units\": [{\"number\": 0, \"type\": 5, \"members\": [" + members +
          "]}]}]}",
      "w.json", world, &error));
  EXPECT_EQ(error, "w.json:1: impossible unit: its descriptor would be longer than 252 bytes");
}

}  // namespace
}  // namespace kivo::emulator
