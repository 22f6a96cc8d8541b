// The ".reg" hive reader and writer on its own: accepted forms, the written
// layout, and random and mutated bytes (every text either fails cleanly or
// reads back to the same hive after writing).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/RegFile.h"

namespace kivo::test {
namespace {

using namespace kivo::platform;

const std::string kSeed =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\Email]\r\n"
    "\"Host\"=\"mail.example\"\r\n"
    "\"SendEmail\"=dword:00000001\r\n"
    "@=\"a \\\"b\\\" \\\\ c\"\r\n"
    "\"Bin\"=hex:00,01,\\\r\n"
    "  ff\r\n"
    "\"Multi\"=hex(7):61,00,00\r\n\r\n"
    "[HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\HTTP]\r\n"
    "\"Port\"=dword:00000438\r\n";

// Parses, writes, parses the written text again: it must read and write the
// same. Returns whether the first parse succeeded.
bool CheckRoundTrip(const std::string& text) {
  RegFile file("HKEY_USERS");
  RegParseError error;
  if (!file.Parse(text, &error)) {
    EXPECT_TRUE(file.Keys().empty());
    EXPECT_FALSE(error.what.empty());
    return false;
  }
  std::string written = file.Write();
  RegFile again("HKEY_USERS");
  EXPECT_TRUE(again.Parse(written, &error)) << error.line << ": " << error.what << "\n" << written;
  EXPECT_EQ(again.Write(), written);
  EXPECT_EQ(again.Keys().size(), file.Keys().size());
  for (std::size_t k = 0; k < file.Keys().size() && k < again.Keys().size(); ++k) {
    const RegKey& a = file.Keys()[k];
    const RegKey& b = again.Keys()[k];
    EXPECT_EQ(a.path, b.path);
    EXPECT_EQ(a.values.size(), b.values.size());
    for (std::size_t v = 0; v < a.values.size() && v < b.values.size(); ++v) {
      EXPECT_EQ(a.values[v].name, b.values[v].name);
      EXPECT_EQ(a.values[v].type, b.values[v].type);
      EXPECT_EQ(a.values[v].data, b.values[v].data);
    }
  }
  return true;
}

TEST(RegParserTest, ReadsTheSeedHive) {
  RegFile file("HKEY_USERS");
  RegParseError error;
  ASSERT_TRUE(file.Parse(kSeed, &error)) << error.line << ": " << error.what;
  ASSERT_EQ(file.Keys().size(), 2u);
  const RegValue* host = file.FindValue(".default\\software\\zelka\\kivo\\email", "HOST");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->type, REG_SZ);
  EXPECT_EQ(std::string(host->data.begin(), host->data.end()), std::string("mail.example") + '\0');
  const RegValue* byDefault = file.FindValue(".DEFAULT\\Software\\Zelka\\kivo\\Email", "");
  ASSERT_NE(byDefault, nullptr);
  EXPECT_EQ(std::string(byDefault->data.begin(), byDefault->data.end()), std::string("a \"b\" \\ c") + '\0');
  const RegValue* bin = file.FindValue(".DEFAULT\\Software\\Zelka\\kivo\\Email", "Bin");
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(bin->data, (std::vector<BYTE>{0, 1, 0xFF}));
  EXPECT_TRUE(CheckRoundTrip(kSeed));
}

TEST(RegParserTest, SectionsMergeAndTheLaterValueWins) {
  RegFile file("HKEY_USERS");
  ASSERT_TRUE(
      file.Parse("Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\K]\n\"a\"=\"1\"\n"
                 "[hkey_users\\k]\n\"A\"=\"2\"\n\"b\"=dword:0\n",
                 nullptr));
  ASSERT_EQ(file.Keys().size(), 1u);
  ASSERT_EQ(file.Keys()[0].values.size(), 2u);
  EXPECT_EQ(file.Write(),
            "Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\K]\n\"A\"=\"2\"\n\"b\"=dword:00000000\n\n");
}

TEST(RegParserTest, LongBinaryIsWrappedAsExportsAre) {
  RegFile file("HKEY_LOCAL_MACHINE");
  std::vector<BYTE> data(100);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
  file.SetValue("SYSTEM\\Blob", "Data", REG_BINARY, data.data(), data.size());
  std::string text = file.Write();
  std::size_t lines = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    EXPECT_LE(line.size(), 80u) << line;
    if (line.size() > 2 && line[0] == ' ') {
      EXPECT_EQ(line.substr(0, 2), "  ");
    }
    ++lines;
    start = end + 1;
  }
  EXPECT_GT(lines, 7u);
  RegFile again("HKEY_LOCAL_MACHINE");
  ASSERT_TRUE(again.Parse(text, nullptr));
  const RegValue* value = again.FindValue("system\\blob", "data");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, data);
}

TEST(RegParserTest, CreateKeyKeepsExistingSpellingAndAddsParents) {
  RegFile file("HKEY_USERS");
  ASSERT_TRUE(file.Parse("Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\.DEFAULT\\Software\\Zelka]\n",
                         nullptr));
  EXPECT_TRUE(file.KeyExists(".default"));
  std::string stored;
  EXPECT_TRUE(file.KeyExists(".DEFAULT\\SOFTWARE", &stored));
  EXPECT_EQ(stored, ".DEFAULT\\Software");
  EXPECT_FALSE(file.KeyExists(".DEFAULT\\Soft"));
  EXPECT_EQ(file.CreateKey(".default\\software\\zelka\\kivo\\Audio"),
            ".DEFAULT\\Software\\Zelka\\kivo\\Audio");
  std::vector<std::string> paths;
  for (const RegKey& key : file.Keys()) paths.push_back(key.path);
  EXPECT_EQ(paths, (std::vector<std::string>{".DEFAULT\\Software\\Zelka", ".DEFAULT", ".DEFAULT\\Software",
                                             ".DEFAULT\\Software\\Zelka\\kivo",
                                             ".DEFAULT\\Software\\Zelka\\kivo\\Audio"}));
}

TEST(RegParserTest, RandomBytesFailCleanlyOrRoundTrip) {
  std::mt19937 random(20240611);
  const std::string alphabet = "[]\\\"@=:,;-()hexdwordHKEY_USERS0123456789abcdefAF \t\r\n";
  int parsed = 0;
  for (int round = 0; round < 3000; ++round) {
    std::size_t length = random() % 200;
    std::string text;
    if (round % 2 == 0) text = "Windows Registry Editor Version 5.00\n\n";
    for (std::size_t i = 0; i < length; ++i) {
      text.push_back(round % 3 == 0 ? static_cast<char>(random() & 0xFF)
                                    : alphabet[random() % alphabet.size()]);
    }
    if (CheckRoundTrip(text)) ++parsed;
    if (::testing::Test::HasFailure()) FAIL() << "input: " << ::testing::PrintToString(text);
  }
  // Some inputs must reach the writer, or the test proves little.
  EXPECT_GT(parsed, 10);
}

TEST(RegParserTest, MutatedSeedsFailCleanlyOrRoundTrip) {
  std::mt19937 random(7);
  int parsed = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = kSeed;
    int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      std::size_t at = random() % text.size();
      switch (random() % 3) {
        case 0:
          text[at] = static_cast<char>(random() & 0xFF);
          break;
        case 1:
          text.erase(at, 1 + random() % 8);
          break;
        default:
          text.insert(at, 1, "\\\",[]\n@=:"[random() % 9]);
          break;
      }
      if (text.empty()) text = "x";
    }
    if (CheckRoundTrip(text)) ++parsed;
    if (::testing::Test::HasFailure()) FAIL() << "input: " << ::testing::PrintToString(text);
  }
  EXPECT_GT(parsed, 100);
}

}  // namespace
}  // namespace kivo::test
