// HostInfo: the description of each platform family and version, with the
// product type read from a real file registry in a temporary directory.
#include "controller/HostInfo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/LastError.h"
#include "platform/posix/FileRegistry.h"

namespace kivo::test {
namespace {

using namespace kivo::platform;

class FakeHost : public HostFacts {
 public:
  BOOL GetVersionExA(OSVERSIONINFOA* info) override {
    ++versionCalls;
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return FALSE;
    if (failWith >= 0) {
      SetLastError(static_cast<DWORD>(failWith));
      return FALSE;
    }
    *info = record;
    return TRUE;
  }
  BOOL GetComputerNameA(char*, DWORD*) override { return FALSE; }
  std::string NativeDescription() override {
    return "Debian GNU/Linux 12 (bookworm) Linux 6.1.0-18-amd64 x86_64";
  }

  void Set(DWORD major, DWORD minor, DWORD build, DWORD platformId, const char* servicePack = "") {
    record = OSVERSIONINFOA{};
    record.dwOSVersionInfoSize = sizeof record;
    record.dwMajorVersion = major;
    record.dwMinorVersion = minor;
    record.dwBuildNumber = build;
    record.dwPlatformId = platformId;
    std::snprintf(record.szCSDVersion, sizeof record.szCSDVersion, "%s", servicePack);
  }

  OSVERSIONINFOA record{};
  long failWith = -1;
  int versionCalls = 0;
};

// Counts opens and closes so a test can see every opened key closed.
class CountingRegistry : public ForwardingRegistry {
 public:
  using ForwardingRegistry::ForwardingRegistry;
  LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) override {
    LONG status = base_.RegOpenKeyExA(key, subKey, options, desired, result);
    if (status == 0) ++opened;
    lastSubKey = subKey ? subKey : "";
    lastAccess = desired;
    return status;
  }
  LONG RegCloseKey(HKEY key) override {
    ++closed;
    return base_.RegCloseKey(key);
  }
  int opened = 0;
  int closed = 0;
  std::string lastSubKey;
  REGSAM lastAccess = 0;
};

class HostInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "kivo-host-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    files_ = std::make_unique<FileRegistry>(dir_);
    registry_ = std::make_unique<CountingRegistry>(*files_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void SetProductType(DWORD type, const std::string& data) {
    HKEY key = 0;
    ASSERT_EQ(
        files_->RegCreateKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", &key),
        0);
    ASSERT_EQ(files_->RegSetValueExA(key, "ProductType", 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                     static_cast<DWORD>(data.size())),
              0);
    files_->RegCloseKey(key);
  }
  void SetProductType(const char* text) { SetProductType(REG_SZ, std::string(text) + '\0'); }

  std::string Describe() {
    HostInfo info(host_, *registry_);
    EXPECT_EQ(info.Build(), 0u);
    return info.Description();
  }

  std::string dir_;
  FakeHost host_;
  std::unique_ptr<FileRegistry> files_;
  std::unique_ptr<CountingRegistry> registry_;
};

TEST_F(HostInfoTest, NtFamilyWithProductTypes) {
  struct Case {
    DWORD major, minor, build;
    const char* productType;
    const char* servicePack;
    const char* description;
  };
  const Case cases[] = {
      {4, 0, 1381, "WINNT", "Service Pack 6",
       "Microsoft Windows NT Workstation 4.0 (Build 1381) Service Pack 6"},
      {5, 0, 2195, "WINNT", "", "Microsoft Windows 2000 Professional (5.0 Build 2195)"},
      {5, 0, 2195, "winnt", "Service Pack 4",
       "Microsoft Windows 2000 Professional (5.0 Build 2195) Service Pack 4"},
      {4, 0, 1381, "LANMANNT", "", "Microsoft Windows NT Advanced Server 4.0 (Build 1381)"},
      {5, 0, 2195, "ServerNT", "", "Microsoft Windows 2000 Server (5.0 Build 2195)"},
      {4, 0, 1381, "Terminal", "", "Microsoft Windows NT (unknown Terminal, d) 4.0 (Build 1381)"},
      {4, 0, 1381, "", "", "Microsoft Windows NT (unknown , d) 4.0 (Build 1381)"},
      // Past minor 0 the registry is read but the product type stays empty.
      {5, 1, 2600, "WINNT", "Service Pack 2", "Microsoft Windows XP  (5.1 Build 2600) Service Pack 2"},
      {5, 2, 3790, "SERVERNT", "", "Microsoft Windows Server 2003 family  (5.2 Build 3790)"},
      {5, 3, 1, "WINNT", "", "Microsoft Windows maj 5 min  (5.3 Build 1)"},
      {3, 51, 1057, "LANMANNT", "", "Microsoft Windows NT  3.51 (Build 1057)"},
      {6, 1, 7601, "WINNT", "Service Pack 1", "Microsoft Windows NT  6.1 (Build 7601) Service Pack 1"},
      // Numbers print as signed decimals.
      {4, 0, 0xFFFFFFFFu, "WINNT", "", "Microsoft Windows NT Workstation 4.0 (Build -1)"},
  };
  for (const Case& c : cases) {
    SetProductType(c.productType);
    host_.Set(c.major, c.minor, c.build, VER_PLATFORM_WIN32_NT, c.servicePack);
    EXPECT_EQ(Describe(), c.description) << c.major << "." << c.minor << " " << c.productType;
  }
  EXPECT_EQ(registry_->lastSubKey, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions");
  EXPECT_EQ(registry_->lastAccess, KEY_READ);
  EXPECT_EQ(registry_->opened, 13);
  EXPECT_EQ(registry_->closed, 13);
}

TEST_F(HostInfoTest, RegistryFailuresShowInTheProductType) {
  host_.Set(4, 0, 1381, VER_PLATFORM_WIN32_NT);
  // No key at all.
  EXPECT_EQ(Describe(), "Microsoft Windows NT (unknown version, a) 4.0 (Build 1381)");
  EXPECT_EQ(registry_->closed, 0);

  // The key without the value.
  HKEY key = 0;
  ASSERT_EQ(
      files_->RegCreateKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", &key),
      0);
  EXPECT_EQ(Describe(), "Microsoft Windows NT (unknown version, b) 4.0 (Build 1381)");
  EXPECT_EQ(registry_->closed, 1);

  // A value that does not fit the 256-byte buffer.
  SetProductType(REG_SZ, std::string(300, 'W') + '\0');
  EXPECT_EQ(Describe(), "Microsoft Windows NT (unknown version, b) 4.0 (Build 1381)");

  // A value of another type.
  const DWORD number = 1;
  SetProductType(REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4));
  EXPECT_EQ(Describe(), "Microsoft Windows NT (unknown version, c) 4.0 (Build 1381)");
  SetProductType(REG_EXPAND_SZ, std::string("WINNT") + '\0');
  EXPECT_EQ(Describe(), "Microsoft Windows NT (unknown version, c) 4.0 (Build 1381)");
  EXPECT_EQ(registry_->opened, registry_->closed);

  // Type and value checks even on a minor that would leave the type empty.
  host_.Set(5, 1, 2600, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(Describe(), "Microsoft Windows XP (unknown version, c) (5.1 Build 2600)");
}

TEST_F(HostInfoTest, AValueFillingTheWholeBufferStaysTerminated) {
  host_.Set(4, 0, 1381, VER_PLATFORM_WIN32_NT);
  // 256 bytes without a NUL: read whole, compared and printed as 256 characters.
  SetProductType(REG_SZ, std::string(256, 'x'));
  EXPECT_EQ(Describe(), "Microsoft Windows NT (unknown " + std::string(256, 'x') + ", d) 4.0 (Build 1381)");
}

TEST_F(HostInfoTest, Windows95Family) {
  struct Case {
    DWORD major, minor, build;
    const char* servicePack;
    const char* description;
  };
  const Case cases[] = {
      {4, 0, 950, "", "Microsoft Windows 95 4.0.950"},
      {4, 0, 0x040003B6, " C", "Microsoft Windows 95 4.0.950  C"},
      // 67766222 = 1034 * 65536 + 1998: only the low 16 bits are shown.
      {4, 10, 67766222, "", "Microsoft Windows 98 4.10.1998"},
      {4, 10, 2222, " A ", "Microsoft Windows 98 4.10.2222  A "},
      {4, 90, 3000, "", "Microsoft Windows ME 4.90.3000"},
      {4, 3, 0xFFFFFFFFu, "", "Microsoft Windows 4.3.65535"},
  };
  for (const Case& c : cases) {
    host_.Set(c.major, c.minor, c.build, VER_PLATFORM_WIN32_WINDOWS, c.servicePack);
    EXPECT_EQ(Describe(), c.description);
  }
  // The registry is not consulted off the NT family.
  EXPECT_EQ(registry_->opened + registry_->closed, 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/HKEY_LOCAL_MACHINE.reg"));
}

TEST_F(HostInfoTest, Win32sUnknownPlatformsAndLinux) {
  host_.Set(3, 10, 0, VER_PLATFORM_WIN32s);
  EXPECT_EQ(Describe(), "Microsoft Windows 3.1 (Win32s)");
  host_.Set(3, 11, 0, VER_PLATFORM_WIN32s, "Extra");
  EXPECT_EQ(Describe(), "Microsoft Windows 3.1 (Win32s) Extra");
  // An unknown platform id: the numbers text, then major and minor.
  host_.Set(6, 0, 6000, 3);
  EXPECT_EQ(Describe(), "Microsoft Windows major 6 minor 0 build 6000 platform 36.0.");
  host_.Set(10, 0, 0x80000000u, 0xFFFFFFFFu, "SP");
  EXPECT_EQ(Describe(), "Microsoft Windows major 10 minor 0 build -2147483648 platform -110.0. SP");
  host_.Set(6, 1, 0, VER_PLATFORM_LINUX);
  EXPECT_EQ(Describe(), "Debian GNU/Linux 12 (bookworm) Linux 6.1.0-18-amd64 x86_64");
  EXPECT_EQ(registry_->opened, 0);
}

TEST_F(HostInfoTest, AFailedVersionQueryReturnsItsErrorAndLeavesTheTextsEmpty) {
  HostInfo info(host_, *registry_);
  host_.Set(4, 0, 1381, VER_PLATFORM_WIN32_NT, "Service Pack 6");
  SetProductType("WINNT");
  ASSERT_EQ(info.Build(), 0u);
  EXPECT_STRNE(info.Description(), "");
  EXPECT_STREQ(info.ProductType(), "Workstation");

  host_.failWith = 87;
  EXPECT_EQ(info.Build(), 87u);
  EXPECT_STREQ(info.Description(), "");
  EXPECT_STREQ(info.ProductType(), "");

  // A failure without a code still reads as a failure.
  host_.failWith = 0;
  EXPECT_EQ(info.Build(), ERROR_GEN_FAILURE);
}

TEST_F(HostInfoTest, EachBuildStartsAfresh) {
  HostInfo info(host_, *registry_);
  EXPECT_STREQ(info.Description(), "");
  host_.Set(5, 0, 2195, VER_PLATFORM_WIN32_NT, "Service Pack 4");
  SetProductType("WINNT");
  ASSERT_EQ(info.Build(), 0u);
  ASSERT_EQ(info.Build(), 0u);
  EXPECT_STREQ(info.Description(), "Microsoft Windows 2000 Professional (5.0 Build 2195) Service Pack 4");
  host_.Set(4, 0, 950, VER_PLATFORM_WIN32_WINDOWS);
  ASSERT_EQ(info.Build(), 0u);
  EXPECT_STREQ(info.Description(), "Microsoft Windows 95 4.0.950");
  EXPECT_STREQ(info.ProductType(), "");
}

TEST_F(HostInfoTest, AServicePackFillingItsWholeFieldIsCutAtTheField) {
  host_.Set(4, 0, 950, VER_PLATFORM_WIN32_WINDOWS);
  std::memset(host_.record.szCSDVersion, 'S', sizeof host_.record.szCSDVersion);
  EXPECT_EQ(Describe(), "Microsoft Windows 95 4.0.950 " + std::string(128, 'S'));
}

}  // namespace
}  // namespace kivo::test
