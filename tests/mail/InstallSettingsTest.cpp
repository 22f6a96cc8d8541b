// The install step seeds what is missing, keeps what exists, and is idempotent.
#include "mail/InstallSettings.h"

#include <gtest/gtest.h>

#include "mail/MemoryRegistry.h"
#include "mail/SettingsStore.h"

namespace kivo::test {
namespace {

TEST(InstallSettingsTest, SeedsAnEmptyRegistryWithTheInstalledDefaults) {
  MemoryRegistry registry;
  InstallResult result = SeedInstallSettings(registry);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.created.size(), 8u);  // two keys, six values
  EXPECT_EQ(registry.Find(kEmailKeyPath, "SendEmail")->type, platform::REG_DWORD);
  EXPECT_EQ(registry.Dword(kEmailKeyPath, "SendEmail"), 0u);
  for (const char* name : {"Host", "ToID", "FromID", "FromName"}) {
    const auto* value = registry.Find(kEmailKeyPath, name);
    ASSERT_NE(value, nullptr) << name;
    EXPECT_EQ(value->type, platform::REG_SZ);
    EXPECT_EQ(value->bytes, std::vector<platform::BYTE>{0});
  }
  EXPECT_EQ(registry.Dword(kHttpKeyPath, "Port"), 1080u);
  EXPECT_FALSE(registry.HasKey(kAudioKeyPath));  // created on demand by the program
  EXPECT_EQ(registry.OpenHandles(), 0);

  // Installed defaults are what the program reads back.
  EmailSettings settings;
  LoadEmailSettings(registry, settings);
  EXPECT_EQ(settings.SendEmail, 0);
  EXPECT_EQ(ReadHttpPort(registry), 1080u);
}

TEST(InstallSettingsTest, RunningAgainChangesNothing) {
  MemoryRegistry registry;
  SeedInstallSettings(registry);
  int writes = registry.Writes();
  InstallResult again = SeedInstallSettings(registry);
  EXPECT_EQ(again.status, 0);
  EXPECT_TRUE(again.created.empty());
  EXPECT_EQ(registry.Writes(), writes);
}

TEST(InstallSettingsTest, ExistingValuesKeepTheirTypeAndContent) {
  MemoryRegistry registry;
  registry.SetString(kEmailKeyPath, "SendEmail", "1");
  registry.SetString(kEmailKeyPath, "Host", "mail.example.org");
  registry.SetRaw(kEmailKeyPath, "ToID", platform::REG_BINARY, {9});
  registry.SetDword(kHttpKeyPath, "Port", 8080);
  InstallResult result = SeedInstallSettings(registry);
  EXPECT_EQ(result.status, 0);
  ASSERT_EQ(result.created.size(), 2u);
  EXPECT_EQ(result.created[0], "HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\Email: FromID = \"\"");
  EXPECT_EQ(registry.String(kEmailKeyPath, "SendEmail"), "1");
  EXPECT_EQ(registry.String(kEmailKeyPath, "Host"), "mail.example.org");
  EXPECT_EQ(registry.Find(kEmailKeyPath, "ToID")->bytes, std::vector<platform::BYTE>{9});
  EXPECT_EQ(registry.Dword(kHttpKeyPath, "Port"), 8080u);
  EXPECT_EQ(registry.String(kEmailKeyPath, "FromName"), "");
  EXPECT_NE(registry.Find(kEmailKeyPath, "FromName"), nullptr);
}

TEST(InstallSettingsTest, AnUnreadableValueIsNotOverwritten) {
  MemoryRegistry base;
  base.SetString(kEmailKeyPath, "Host", "keep");
  class Unreadable : public platform::ForwardingRegistry {
   public:
    using ForwardingRegistry::ForwardingRegistry;
    platform::LONG RegQueryValueExA(platform::HKEY, const char*, platform::DWORD*, platform::DWORD*,
                                    platform::BYTE*, platform::DWORD*) override {
      return platform::ERROR_REGISTRY_CORRUPT;
    }
  } unreadable(base);
  InstallResult result = SeedInstallSettings(unreadable);
  EXPECT_EQ(result.status, static_cast<platform::LONG>(platform::ERROR_REGISTRY_CORRUPT));
  EXPECT_EQ(base.Writes(), 0);
  EXPECT_EQ(base.OpenHandles(), 0);
}

}  // namespace
}  // namespace kivo::test
