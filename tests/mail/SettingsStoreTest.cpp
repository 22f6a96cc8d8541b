// The settings store against an in-memory registry: conversions of the e-mail
// values, the save order and its messages, the audio command and readers.
#include "mail/SettingsStore.h"

#include <gtest/gtest.h>

#include <cstring>

#include "mail/MailTestSupport.h"
#include "mail/MemoryRegistry.h"

namespace kivo::test {
namespace {

using platform::DWORD;
using platform::LONG;

// Fails RegSetValueExA for one value name with a chosen status.
class FailingSetRegistry : public platform::ForwardingRegistry {
 public:
  FailingSetRegistry(platform::Registry& base, std::string name, LONG status)
      : ForwardingRegistry(base), name_(std::move(name)), status_(status) {}
  LONG RegSetValueExA(platform::HKEY key, const char* valueName, DWORD reserved, DWORD type,
                      const platform::BYTE* data, DWORD cbData) override {
    if (name_ == valueName) return status_;
    return base_.RegSetValueExA(key, valueName, reserved, type, data, cbData);
  }

 private:
  std::string name_;
  LONG status_;
};

class FailingCreateRegistry : public platform::ForwardingRegistry {
 public:
  using ForwardingRegistry::ForwardingRegistry;
  LONG RegCreateKeyA(platform::HKEY, const char*, platform::HKEY*) override {
    return platform::ERROR_ACCESS_DENIED;
  }
};

class FakeMenu : public CheckMenu {
 public:
  bool IsItemChecked(platform::UINT commandId) override {
    asked.push_back(commandId);
    return checked;
  }
  void CheckItem(platform::UINT commandId, bool check) override {
    asked.push_back(commandId);
    checked = check;
  }
  bool checked = false;
  std::vector<platform::UINT> asked;
};

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { AudioOffFlag = 0; }
  // The "Email" key as installed, with every value present.
  void Install(DWORD sendEmail = 0) {
    registry.SetDword(kEmailKeyPath, "SendEmail", sendEmail);
    for (const char* name : {"Host", "ToID", "FromID", "FromName"})
      registry.SetString(kEmailKeyPath, name, "");
  }
  MemoryRegistry registry;
  RecordingBoxes boxes;
};

TEST_F(SettingsStoreTest, ReadSettingConvertsByStoredType) {
  struct Row {
    const char* name;
    DWORD type;
    std::vector<platform::BYTE> bytes;
    const char* expected;
  };
  const Row rows[] = {
      {"dword10", platform::REG_DWORD, {10, 0, 0, 0}, "10"},
      {"dwordNegative", platform::REG_DWORD, {0xfe, 0xff, 0xff, 0xff}, "-2"},
      {"text", platform::REG_SZ, {'m', 'a', 'i', 'l', 0}, "mail"},
      {"emptyText", platform::REG_SZ, {0}, ""},
      {"textWithoutNul", platform::REG_SZ, {'a', 'b'}, "ab"},
      {"binary", platform::REG_BINARY, {1, 2, 3}, "unchanged"},
      {"multi", platform::REG_MULTI_SZ, {'a', 0, 0}, "unchanged"},
  };
  for (const Row& row : rows) registry.SetRaw(kEmailKeyPath, row.name, row.type, row.bytes);
  for (const Row& row : rows) {
    std::string text = "unchanged";
    EXPECT_EQ(ReadSetting(registry, kEmailKeyPath, row.name, text), 0) << row.name;
    EXPECT_EQ(text, row.expected) << row.name;
  }
  EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(SettingsStoreTest, ReadSettingOfMissingValueSucceedsAndMissingKeyFails) {
  registry.AddKey(kEmailKeyPath);
  std::string text = "before";
  EXPECT_EQ(ReadSetting(registry, kEmailKeyPath, "Host", text), 0);
  EXPECT_EQ(text, "before");
  EXPECT_EQ(ReadSetting(registry, kHttpKeyPath, "Port", text), 2);
  EXPECT_EQ(text, "before");
  EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(SettingsStoreTest, SendEmailLoadsAsEnabledWhenItsTextHoldsAOne) {
  struct Row {
    bool asDword;
    DWORD number;
    const char* text;
    int expected;
  };
  const Row rows[] = {
      {true, 10, "", 1},    {true, 21, "", 1},    {true, 1, "", 1},   {true, 0, "", 0},  {true, 2, "", 0},
      {false, 0, "yes", 0}, {false, 0, "on1", 1}, {false, 0, "0", 0}, {false, 0, "", 0},
  };
  for (const Row& row : rows) {
    MemoryRegistry fresh;
    if (row.asDword) {
      fresh.SetDword(kEmailKeyPath, "SendEmail", row.number);
    } else {
      fresh.SetString(kEmailKeyPath, "SendEmail", row.text);
    }
    EmailSettings settings;
    settings.SendEmail = 1 - row.expected;
    LoadEmailSettings(fresh, settings);
    EXPECT_EQ(settings.SendEmail, row.expected) << row.number << " " << row.text;
  }
}

TEST_F(SettingsStoreTest, LoadEmailSettingsReadsTheTextsAndKeepsFieldsOnFailure) {
  Install(1);
  registry.SetString(kEmailKeyPath, "Host", "mail.example.org");
  registry.SetString(kEmailKeyPath, "ToID", "a@example.org;b@example.org");
  registry.SetString(kEmailKeyPath, "FromID", "kivo@example.org");
  registry.SetRaw(kEmailKeyPath, "FromName", platform::REG_BINARY, {1, 2});
  EmailSettings settings;
  settings.FromName = "kept";
  LoadEmailSettings(registry, settings);
  EXPECT_EQ(settings.Host, "mail.example.org");
  EXPECT_EQ(settings.ToID, "a@example.org;b@example.org");
  EXPECT_EQ(settings.FromID, "kivo@example.org");
  EXPECT_EQ(settings.FromName, "kept");
  EXPECT_EQ(settings.SendEmail, 1);

  MemoryRegistry empty;
  EmailSettings untouched{"h", "t", "f", "n", 1};
  LoadEmailSettings(empty, untouched);
  EXPECT_EQ(untouched.Host, "h");
  EXPECT_EQ(untouched.SendEmail, 1);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SettingsStoreTest, SavingWritesEachValueInItsStoredType) {
  Install();
  EmailSettings settings{"mail.example.org", "a@example.org", "kivo@example.org", "Kivo", 1};
  EXPECT_EQ(SaveEmailSettings(registry, settings, boxes), 0);
  EXPECT_EQ(registry.Find(kEmailKeyPath, "SendEmail")->type, platform::REG_DWORD);
  EXPECT_EQ(registry.Dword(kEmailKeyPath, "SendEmail"), 1u);
  EXPECT_EQ(registry.String(kEmailKeyPath, "Host"), "mail.example.org");
  EXPECT_EQ(registry.String(kEmailKeyPath, "ToID"), "a@example.org");
  EXPECT_EQ(registry.String(kEmailKeyPath, "FromID"), "kivo@example.org");
  EXPECT_EQ(registry.String(kEmailKeyPath, "FromName"), "Kivo");
  EXPECT_EQ(registry.Find(kEmailKeyPath, "FromName")->bytes.size(), 5u);  // with its NUL
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(registry.OpenHandles(), 0);

  registry.SetString(kEmailKeyPath, "SendEmail", "whatever");
  settings.SendEmail = 0;
  EXPECT_EQ(SaveEmailSettings(registry, settings, boxes), 0);
  EXPECT_EQ(registry.String(kEmailKeyPath, "SendEmail"), "0");
  settings.SendEmail = 1;
  EXPECT_EQ(SaveEmailSettings(registry, settings, boxes), 0);
  EXPECT_EQ(registry.String(kEmailKeyPath, "SendEmail"), "1");
}

TEST_F(SettingsStoreTest, WriteSettingTurnsAnyTextWithAOneIntoTheNumberOne) {
  registry.SetDword(kEmailKeyPath, "SendEmail", 7);
  EXPECT_EQ(WriteSetting(registry, kEmailKeyPath, "SendEmail", "x10"), 0);
  EXPECT_EQ(registry.Dword(kEmailKeyPath, "SendEmail"), 1u);
  EXPECT_EQ(WriteSetting(registry, kEmailKeyPath, "SendEmail", "enabled"), 0);
  EXPECT_EQ(registry.Dword(kEmailKeyPath, "SendEmail"), 0u);
}

TEST_F(SettingsStoreTest, AValueOfAnotherTypeIsNeverOverwritten) {
  Install();
  registry.SetRaw(kEmailKeyPath, "Host", platform::REG_EXPAND_SZ, {'%', 'H', '%', 0});
  int writesBefore = registry.Writes();
  EXPECT_EQ(WriteSetting(registry, kEmailKeyPath, "Host", "mail.example.org"), 0);
  EXPECT_EQ(registry.Writes(), writesBefore);
  EmailSettings settings{"mail.example.org", "a@b", "c@d", "Kivo", 0};
  EXPECT_EQ(SaveEmailSettings(registry, settings, boxes), 0);
  const auto* host = registry.Find(kEmailKeyPath, "Host");
  EXPECT_EQ(host->type, platform::REG_EXPAND_SZ);
  EXPECT_EQ(host->bytes, (std::vector<platform::BYTE>{'%', 'H', '%', 0}));
  EXPECT_EQ(registry.String(kEmailKeyPath, "FromName"), "Kivo");
}

TEST_F(SettingsStoreTest, WriteSettingNeverCreatesAValueOrKey) {
  EXPECT_EQ(WriteSetting(registry, kEmailKeyPath, "Host", "x"), 2);
  EXPECT_FALSE(registry.HasKey(kEmailKeyPath));
  registry.AddKey(kEmailKeyPath);
  EXPECT_EQ(WriteSetting(registry, kEmailKeyPath, "Host", "x"), 2);
  EXPECT_EQ(registry.Find(kEmailKeyPath, "Host"), nullptr);
  EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(SettingsStoreTest, SavingStopsAtAMissingSenderWithCodeTwo) {
  registry.SetDword(kEmailKeyPath, "SendEmail", 0);
  registry.SetString(kEmailKeyPath, "ToID", "old-to");
  registry.SetString(kEmailKeyPath, "Host", "old-host");
  registry.SetString(kEmailKeyPath, "FromName", "old-name");
  EmailSettings settings{"new-host", "new-to", "new-from", "new-name", 1};
  EXPECT_EQ(SaveEmailSettings(registry, settings, boxes), 2);
  EXPECT_EQ(registry.Dword(kEmailKeyPath, "SendEmail"), 1u);
  EXPECT_EQ(registry.String(kEmailKeyPath, "ToID"), "old-to");
  EXPECT_EQ(registry.String(kEmailKeyPath, "Host"), "old-host");
  EXPECT_EQ(registry.String(kEmailKeyPath, "FromName"), "old-name");
  EXPECT_EQ(registry.Find(kEmailKeyPath, "FromID"), nullptr);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Error: registry access failed for sender, check your setup. (0x2)");
  EXPECT_EQ(boxes.shown[0].caption, "Kivo Disk Managenemt Utility");
  EXPECT_EQ(boxes.shown[0].type, platform::MB_OK);
  EXPECT_TRUE(boxes.shown[0].owned);
}

TEST_F(SettingsStoreTest, EachFailedSaveShowsItsOwnMessageInLowerCaseHex) {
  struct Row {
    const char* failing;
    const char* message;
  };
  // Every refused write is told, the last one too: a standard user must know
  // that the settings were not kept.
  const Row rows[] = {
      {"SendEmail", "Error: registry access failed, check your setup. (0x3f2)"},
      {"FromID", "Error: registry access failed for sender, check your setup. (0x3f2)"},
      {"ToID", "Error: registry access failed for recipient, check your setup. (0x3f2)"},
      {"Host", "Error: registry access failed for Host, check your setup. (0x3f2)"},
      {"FromName", "Error: registry access failed for sender's name, check your setup. (0x3f2)"},
  };
  for (const Row& row : rows) {
    MemoryRegistry base;
    base.SetDword(kEmailKeyPath, "SendEmail", 0);
    for (const char* name : {"Host", "ToID", "FromID", "FromName"}) base.SetString(kEmailKeyPath, name, "");
    FailingSetRegistry failing(base, row.failing, platform::ERROR_BADKEY);
    RecordingBoxes shown;
    EmailSettings settings{"h", "t", "f", "n", 1};
    EXPECT_EQ(SaveEmailSettings(failing, settings, shown), static_cast<LONG>(platform::ERROR_BADKEY))
        << row.failing;
    ASSERT_EQ(shown.shown.size(), 1u) << row.failing;
    EXPECT_EQ(shown.shown[0].text, row.message);
    EXPECT_EQ(base.OpenHandles(), 0);
  }
}

TEST_F(SettingsStoreTest, MissingEmailKeyShowsTheFirstMessageWithCodeTwo) {
  EmailSettings settings{"h", "t", "f", "n", 0};
  EXPECT_EQ(SaveEmailSettings(registry, settings, boxes), 2);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Error: registry access failed, check your setup. (0x2)");
}

TEST_F(SettingsStoreTest, ToggleAudioCreatesTheAudioKeyAndFlipsTheMark) {
  FakeMenu menu;
  ToggleAudio(menu, registry, boxes);
  EXPECT_TRUE(menu.checked);
  EXPECT_EQ(AudioOffFlag, 1);
  EXPECT_TRUE(registry.HasKey(kAudioKeyPath));
  EXPECT_EQ(registry.Find(kAudioKeyPath, "AudioOff")->type, platform::REG_DWORD);
  EXPECT_EQ(registry.Dword(kAudioKeyPath, "AudioOff"), 1u);
  ToggleAudio(menu, registry, boxes);
  EXPECT_FALSE(menu.checked);
  EXPECT_EQ(AudioOffFlag, 0);
  EXPECT_EQ(registry.Dword(kAudioKeyPath, "AudioOff"), 0u);
  for (platform::UINT id : menu.asked) EXPECT_EQ(id, 32785u);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(SettingsStoreTest, ToggleAudioReportsARefusedWriteOrKeyCreation) {
  FakeMenu menu;
  FailingSetRegistry failingWrite(registry, "AudioOff", platform::ERROR_ACCESS_DENIED);
  ToggleAudio(menu, failingWrite, boxes);
  EXPECT_TRUE(menu.checked);
  EXPECT_EQ(AudioOffFlag, 1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Error: registry access failed, check your setup. (0x5)");
  EXPECT_EQ(boxes.shown[0].caption, "Kivo Disk Managenemt Utility");
  EXPECT_EQ(registry.OpenHandles(), 0);

  // A standard user without the right to create the "Audio" key learns that
  // the setting was not kept.
  FailingCreateRegistry failingCreate(registry);
  ToggleAudio(menu, failingCreate, boxes);
  EXPECT_FALSE(menu.checked);
  EXPECT_EQ(AudioOffFlag, 0);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, "Error: registry access failed, check your setup. (0x5)");
  EXPECT_EQ(boxes.shown[1].caption, "Kivo Disk Managenemt Utility");
  EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(SettingsStoreTest, WriteAudioOffLeavesTheFlagToItsCaller) {
  AudioOffFlag = 0;
  EXPECT_EQ(WriteAudioOff(registry, boxes, 1), 0);
  EXPECT_EQ(AudioOffFlag, 0);
  EXPECT_EQ(ReadAudioOff(registry), 1);
}

TEST_F(SettingsStoreTest, OnlyAStoredOneTurnsAudioOffAtStart) {
  EXPECT_EQ(ReadAudioOff(registry), 0);
  registry.SetDword(kAudioKeyPath, "AudioOff", 2);
  EXPECT_EQ(ReadAudioOff(registry), 0);
  registry.SetDword(kAudioKeyPath, "AudioOff", 1);
  EXPECT_EQ(ReadAudioOff(registry), 1);
  registry.SetRaw(kAudioKeyPath, "AudioOff", platform::REG_BINARY, {1, 0, 0, 0, 0, 0});  // too long to read
  EXPECT_EQ(ReadAudioOff(registry), 0);
  EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(SettingsStoreTest, HttpPortDefaultsTo1080) {
  EXPECT_EQ(ReadHttpPort(registry), 1080u);
  registry.AddKey(kHttpKeyPath);
  EXPECT_EQ(ReadHttpPort(registry), 1080u);
  registry.SetDword(kHttpKeyPath, "Port", 8081);
  EXPECT_EQ(ReadHttpPort(registry), 8081u);
  registry.SetString(kHttpKeyPath, "Port", "a long text that does not fit");
  EXPECT_EQ(ReadHttpPort(registry), 1080u);
  EXPECT_EQ(registry.OpenHandles(), 0);
}

}  // namespace
}  // namespace kivo::test
