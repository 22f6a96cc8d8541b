// The Win32 implementations of the platform seams against the real system
// calls (under Wine, the prefix's registry and rpcrt4): what the Linux
// stand-ins promise, the system gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "monitor/ServiceLink.h"
#include "platform/HostFacts.h"
#include "platform/LastError.h"
#include "platform/ProcessLauncher.h"
#include "platform/Registry.h"
#include "platform/SystemMessage.h"

// After the platform headers: <windows.h> defines macros of the same names.
#include <windows.h>

namespace {

void DeleteTestKey() {
  RegDeleteKeyA(HKEY_USERS, ".DEFAULT\\Software\\Zelka\\kivo-test");
}

}  // namespace

namespace kivo::platform {
namespace {

TEST(SystemRegistryTest, ValuesKeepTheirTypesAndSizes) {
  std::unique_ptr<Registry> registry = MakeSystemRegistry();
  HKEY key = 0;
  ASSERT_EQ(registry->RegCreateKeyA(HKEY_USERS, ".DEFAULT\\Software\\Zelka\\kivo-test", &key), 0);
  const char host[] = "mail.example";
  ASSERT_EQ(
      registry->RegSetValueExA(key, "Host", 0, REG_SZ, reinterpret_cast<const BYTE*>(host), sizeof host), 0);
  const DWORD one = 1;
  ASSERT_EQ(registry->RegSetValueExA(key, "SendEmail", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            0);
  ASSERT_EQ(registry->RegCloseKey(key), 0);

  ASSERT_EQ(registry->RegOpenKeyA(HKEY_USERS, ".DEFAULT\\Software\\Zelka\\kivo-test", &key), 0);
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(registry->RegQueryValueExA(key, "Host", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, sizeof host);
  char small[4];
  size = sizeof small;
  EXPECT_EQ(registry->RegQueryValueExA(key, "Host", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
            static_cast<LONG>(ERROR_MORE_DATA));
  EXPECT_EQ(size, sizeof host);
  DWORD value = 0;
  size = sizeof value;
  EXPECT_EQ(
      registry->RegQueryValueExA(key, "SendEmail", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
      0);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(registry->RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(registry->RegCloseKey(key), 0);
  DeleteTestKey();
}

TEST(SystemRegistryTest, TheProductTypeKeyOfTheMachineCanBeRead) {
  std::unique_ptr<Registry> registry = MakeSystemRegistry();
  HKEY key = 0;
  ASSERT_EQ(registry->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                                    0, KEY_READ, &key),
            0);
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(registry->RegQueryValueExA(key, "ProductType", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, REG_SZ);
  registry->RegCloseKey(key);
}

TEST(SystemHostFactsTest, VersionRecordAndComputerName) {
  std::unique_ptr<HostFacts> host = MakeSystemHostFacts();
  OSVERSIONINFOA record{};
  record.dwOSVersionInfoSize = 12;
  EXPECT_FALSE(host->GetVersionExA(&record));
  record.dwOSVersionInfoSize = sizeof record;
  ASSERT_TRUE(host->GetVersionExA(&record));
  EXPECT_EQ(record.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_GE(record.dwMajorVersion, 4u);

  char name[16];
  DWORD size = sizeof name;
  ASSERT_TRUE(host->GetComputerNameA(name, &size));
  EXPECT_EQ(size, std::strlen(name));
  char tiny[1];
  DWORD tinySize = sizeof tiny;
  EXPECT_FALSE(host->GetComputerNameA(tiny, &tinySize));
  EXPECT_EQ(GetLastError(), 111u);
  EXPECT_EQ(tinySize, size + 1);
}

TEST(SystemMessageTest, TheSystemWordsKnownCodesAndNotUnknownOnes) {
  char buffer[256];
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 2, 0, buffer, sizeof buffer);
  ASSERT_GT(n, 2u);
  EXPECT_EQ(std::string(buffer + n - 2, 2), "\r\n");
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, 0x2345678, 0, buffer, sizeof buffer), 0u);
}

TEST(ProcessLauncherTest, AProgramThatDoesNotExistIsNotStarted) {
  EXPECT_EQ(StartDetached({"kivo-no-such-program.exe"}), -1);
}

// One conversation with a real emulator process over rpcrt4: no service is
// 1722; once the emulator listens, procedure 0 answers; procedure 1 (what
// "-servershutdown" sends) ends it.
TEST(ServiceLinkProcessTest, ShutdownThroughTheServiceLinkEndsTheEmulator) {
  ServiceLink link("");
  link.SetTimeout(2000);
  std::uint16_t word = 0xBEEF;
  ASSERT_EQ(link.FetchNotification(0, &word), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(word, 0xBEEF);

  const std::string emulator = std::string(std::getenv("KIVO_BINARY_DIR")) + "/emulator/zelka-emulator.exe";
  const std::string prefix = "\\\\.\\pipe\\kivo-test-" + std::to_string(GetCurrentProcessId()) + "\\";
  ASSERT_GT(StartDetached({emulator, "--pipe", prefix}), 0) << emulator;
  // Bounded wait for the endpoint (the process starts asynchronously).
  std::uint32_t status = 1;
  for (int attempt = 0; attempt < 200 && status != 0; ++attempt) {
    status = link.FetchNotification(0, &word);
    if (status != 0) ::Sleep(50);
  }
  ASSERT_EQ(status, 0u);
  EXPECT_EQ(word, 0u);

  link.ShutdownService();
  // While the process ends a call may fail otherwise (1726); once it is gone,
  // no service is there.
  for (int attempt = 0; attempt < 200 && status != RPC_S_SERVER_UNAVAILABLE; ++attempt) {
    status = link.FetchNotification(0, &word);
    if (status != RPC_S_SERVER_UNAVAILABLE) ::Sleep(50);
  }
  EXPECT_EQ(status, RPC_S_SERVER_UNAVAILABLE);
}

}  // namespace
}  // namespace kivo::platform
