// The settings store and the install step on the file-backed registry in a
// temporary directory, and the kivo-install program when it has been built.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "mail/InstallSettings.h"
#include "mail/MailTestSupport.h"
#include "mail/SettingsStore.h"
#include "platform/Registry.h"

namespace kivo::test {
namespace {

TEST(FileRegistrySettingsTest, InstalledSettingsSaveAndLoadAgain) {
  TempDir dir;
  auto registry = platform::MakeFileRegistry(dir.Path());
  ASSERT_EQ(SeedInstallSettings(*registry).status, 0);
  RecordingBoxes boxes;
  EmailSettings saved{"mail.example.org", "a@example.org;b@example.org", "kivo@example.org", "Kivo Host", 1};
  EXPECT_EQ(SaveEmailSettings(*registry, saved, boxes), 0);
  EXPECT_TRUE(boxes.shown.empty());

  auto reopened = platform::MakeFileRegistry(dir.Path());
  EmailSettings loaded;
  LoadEmailSettings(*reopened, loaded);
  EXPECT_EQ(loaded.Host, saved.Host);
  EXPECT_EQ(loaded.ToID, saved.ToID);
  EXPECT_EQ(loaded.FromID, saved.FromID);
  EXPECT_EQ(loaded.FromName, saved.FromName);
  EXPECT_EQ(loaded.SendEmail, 1);
  EXPECT_EQ(ReadHttpPort(*reopened), 1080u);
  std::string text = ReadFile(dir.File("HKEY_USERS.reg"));
  EXPECT_NE(text.find("\"SendEmail\"=dword:00000001"), std::string::npos);
  EXPECT_NE(text.find("\"Host\"=\"mail.example.org\""), std::string::npos);
}

TEST(FileRegistrySettingsTest, SavingWithoutTheInstallStepShowsCodeTwo) {
  TempDir dir;
  auto registry = platform::MakeFileRegistry(dir.Path());
  RecordingBoxes boxes;
  EXPECT_EQ(SaveEmailSettings(*registry, EmailSettings{"h", "t", "f", "n", 0}, boxes), 2);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Error: registry access failed, check your setup. (0x2)");
}

TEST(FileRegistrySettingsTest, AudioOffSurvivesARestart) {
  TempDir dir;
  auto registry = platform::MakeFileRegistry(dir.Path());
  RecordingBoxes boxes;
  EXPECT_EQ(ReadAudioOff(*registry), 0);
  EXPECT_EQ(WriteAudioOff(*registry, boxes, 1), 0);
  EXPECT_EQ(ReadAudioOff(*platform::MakeFileRegistry(dir.Path())), 1);
}

TEST(FileRegistrySettingsTest, TheInstallProgramSeedsOnceAndKeepsValues) {
  const char* binary = std::getenv("KIVO_BINARY_DIR");
  std::string program = std::string(binary ? binary : "") + "/src/app/cli/kivo-install";
  if (binary == nullptr || !std::filesystem::exists(program)) GTEST_SKIP() << "kivo-install not built";
  TempDir dir;
  auto run = [&](const std::string& outputName) {
    std::string command = program + " '" + dir.Path() + "' >'" + dir.File(outputName) + "' 2>&1";
    return std::system(command.c_str());
  };
  ASSERT_EQ(run("first.txt"), 0);
  std::string first = ReadFile(dir.File("first.txt"));
  EXPECT_NE(first.find("created HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\HTTP: Port = dword:1080\n"),
            std::string::npos);
  auto registry = platform::MakeFileRegistry(dir.Path());
  ASSERT_EQ(WriteSetting(*registry, kEmailKeyPath, "Host", "kept.example.org"), 0);
  ASSERT_EQ(run("second.txt"), 0);
  EXPECT_EQ(ReadFile(dir.File("second.txt")), "settings already installed in " + dir.Path() + "\n");
  std::string host;
  EXPECT_EQ(ReadSetting(*registry, kEmailKeyPath, "Host", host), 0);
  EXPECT_EQ(host, "kept.example.org");
}

}  // namespace
}  // namespace kivo::test
