// Host facts: the version override, the Linux version record, the computer
// name's buffer rules and the native description.
#include "platform/posix/SystemHostFacts.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cstring>
#include <string>

#include "platform/LastError.h"

namespace kivo::test {
namespace {

using namespace kivo::platform;

OSVERSIONINFOA NewRecord() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return info;
}

TEST(SystemHostFactsTest, OverrideGivesTheWindowsRecord) {
  struct Case {
    const char* text;
    DWORD major, minor, build, platform;
    const char* servicePack;
  };
  const Case cases[] = {
      {"5.0.2195.2", 5, 0, 2195, 2, ""},
      {"4.0.1381.2.Service Pack 6", 4, 0, 1381, 2, "Service Pack 6"},
      {"4.10.67766222.1. A", 4, 10, 67766222, 1, " A"},
      {"5.1.2600.2.Service Pack 2, v.2180", 5, 1, 2600, 2, "Service Pack 2, v.2180"},
      {"3.10.0.0", 3, 10, 0, 0, ""},
      {"4294967295.0.0.7", 4294967295u, 0, 0, 7, ""},
  };
  for (const Case& c : cases) {
    SystemHostFacts host(c.text);
    OSVERSIONINFOA info = NewRecord();
    ASSERT_EQ(host.GetVersionExA(&info), TRUE) << c.text;
    EXPECT_EQ(info.dwMajorVersion, c.major) << c.text;
    EXPECT_EQ(info.dwMinorVersion, c.minor) << c.text;
    EXPECT_EQ(info.dwBuildNumber, c.build) << c.text;
    EXPECT_EQ(info.dwPlatformId, c.platform) << c.text;
    EXPECT_STREQ(info.szCSDVersion, c.servicePack) << c.text;
    EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
  }
}

TEST(SystemHostFactsTest, OverrideThatDoesNotParseIsReportedOnceAndIgnored) {
  const std::string tooLong = "5.0.1.2." + std::string(128, 's');
  for (const char* text : {"5.0.2195", "5.0.2195.2.", "five.0.1.2", "5..1.2", "4294967296.0.0.2",
                           "fail:", "fail:x", "fail:0", "-1.0.0.2", tooLong.c_str()}) {
    ::testing::internal::CaptureStderr();
    SystemHostFacts host(text);
    std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("ignoring KIVO_OS_VERSION"), std::string::npos) << text;
    OSVERSIONINFOA info = NewRecord();
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(host.GetVersionExA(&info), TRUE) << text;
    ASSERT_EQ(host.GetVersionExA(&info), TRUE) << text;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_LINUX) << text;
  }
}

TEST(SystemHostFactsTest, FailOverrideMakesTheVersionQueryFail) {
  SystemHostFacts plain("fail");
  OSVERSIONINFOA info = NewRecord();
  SetLastError(0);
  EXPECT_EQ(plain.GetVersionExA(&info), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  SystemHostFacts chosen("fail:1722");
  EXPECT_EQ(chosen.GetVersionExA(&info), FALSE);
  EXPECT_EQ(GetLastError(), 1722u);
}

TEST(SystemHostFactsTest, LinuxRecordComesFromTheKernelRelease) {
  SystemHostFacts host(nullptr);
  OSVERSIONINFOA info = NewRecord();
  ASSERT_EQ(host.GetVersionExA(&info), TRUE);
  struct utsname names {};
  ASSERT_EQ(::uname(&names), 0);
  DWORD major = 0, minor = 0, patch = 0;
  ASSERT_TRUE(SystemHostFacts::ParseKernelRelease(names.release, &major, &minor, &patch));
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_LINUX);
  EXPECT_EQ(info.dwMajorVersion, major);
  EXPECT_EQ(info.dwMinorVersion, minor);
  EXPECT_EQ(info.dwBuildNumber, patch);
  EXPECT_STREQ(info.szCSDVersion, "");
  EXPECT_GE(major, 2u);
}

TEST(SystemHostFactsTest, VersionRecordOfTheWrongSizeIsRefused) {
  SystemHostFacts host(nullptr);
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = 156;
  EXPECT_EQ(host.GetVersionExA(&info), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(host.GetVersionExA(nullptr), FALSE);
}

TEST(SystemHostFactsTest, KernelReleaseNumbers) {
  struct Case {
    const char* release;
    bool ok;
    DWORD major, minor, patch;
  };
  const Case cases[] = {
      {"6.1.0-18-amd64", true, 6, 1, 0}, {"5.15.153.1-microsoft-standard-WSL2", true, 5, 15, 153},
      {"4.19", true, 4, 19, 0},          {"3", true, 3, 0, 0},
      {"6.8.0-rc7", true, 6, 8, 0},      {"", false, 0, 0, 0},
      {"linux-6.1", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    DWORD major = 9, minor = 9, patch = 9;
    EXPECT_EQ(SystemHostFacts::ParseKernelRelease(c.release, &major, &minor, &patch), c.ok) << c.release;
    EXPECT_EQ(major, c.major) << c.release;
    EXPECT_EQ(minor, c.minor) << c.release;
    EXPECT_EQ(patch, c.patch) << c.release;
  }
}

TEST(SystemHostFactsTest, PrettyNameFollowsShellQuoting) {
  EXPECT_EQ(SystemHostFacts::PrettyName(
                "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                "ID=debian\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(SystemHostFacts::PrettyName("PRETTY_NAME='Alpine Linux v3.19'\r\n"), "Alpine Linux v3.19");
  EXPECT_EQ(SystemHostFacts::PrettyName("PRETTY_NAME=Gentoo\n"), "Gentoo");
  EXPECT_EQ(SystemHostFacts::PrettyName("PRETTY_NAME=\"Say \\\"hi\\\" \\\\o/\"\n"), "Say \"hi\" \\o/");
  EXPECT_EQ(SystemHostFacts::PrettyName("NAME=Arch\n# PRETTY_NAME=\"no\"\n"), "");
  EXPECT_EQ(SystemHostFacts::PrettyName(""), "");
}

TEST(SystemHostFactsTest, DescriptionJoinsWhatIsKnown) {
  EXPECT_EQ(SystemHostFacts::Describe("Debian GNU/Linux 12 (bookworm)", "Linux", "6.1.0-18-amd64", "x86_64"),
            "Debian GNU/Linux 12 (bookworm) Linux 6.1.0-18-amd64 x86_64");
  EXPECT_EQ(SystemHostFacts::Describe("", "Linux", "6.1.0", "aarch64"), "Linux 6.1.0 aarch64");

  SystemHostFacts host(nullptr);
  struct utsname names {};
  ASSERT_EQ(::uname(&names), 0);
  std::string tail = std::string(names.sysname) + " " + names.release + " " + names.machine;
  std::string description = host.NativeDescription();
  ASSERT_GE(description.size(), tail.size());
  EXPECT_EQ(description.substr(description.size() - tail.size()), tail);
}

TEST(SystemHostFactsTest, ComputerNameIsTheShortNameCutToFifteen) {
  EXPECT_EQ(SystemHostFacts::ShortComputerName("build-07.lab.example.org"), "build-07");
  EXPECT_EQ(SystemHostFacts::ShortComputerName("averyveryverylonghostname"), "averyveryverylo");
  EXPECT_EQ(SystemHostFacts::ShortComputerName("exactly15chars."), "exactly15chars");
  EXPECT_EQ(SystemHostFacts::ShortComputerName("fifteen-charsXY.x"), "fifteen-charsXY");
}

TEST(SystemHostFactsTest, ComputerNameBufferRules) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  DWORD size = 5;
  EXPECT_EQ(SystemHostFacts::CopyComputerName("server", buffer, &size), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(buffer[0], '#');
  size = 6;
  EXPECT_EQ(SystemHostFacts::CopyComputerName("server", buffer, &size), FALSE);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(SystemHostFacts::CopyComputerName("server", buffer, &size), TRUE);
  EXPECT_EQ(size, 6u);
  EXPECT_STREQ(buffer, "server");
  EXPECT_EQ(SystemHostFacts::CopyComputerName("server", buffer, nullptr), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  SystemHostFacts host(nullptr);
  size = sizeof buffer;
  ASSERT_EQ(host.GetComputerNameA(buffer, &size), TRUE);
  EXPECT_EQ(size, std::strlen(buffer));
  EXPECT_GT(size, 0u);
  EXPECT_LE(size, 15u);
  EXPECT_EQ(std::strchr(buffer, '.'), nullptr);
}

TEST(SystemHostFactsTest, MakeSystemHostFactsReadsTheEnvironment) {
  const char* saved = std::getenv("KIVO_OS_VERSION");
  std::string keep = saved ? saved : "";
  ::setenv("KIVO_OS_VERSION", "5.2.3790.2.Service Pack 1", 1);
  auto host = MakeSystemHostFacts();
  if (saved) {
    ::setenv("KIVO_OS_VERSION", keep.c_str(), 1);
  } else {
    ::unsetenv("KIVO_OS_VERSION");
  }
  OSVERSIONINFOA info = NewRecord();
  ASSERT_EQ(host->GetVersionExA(&info), TRUE);
  EXPECT_EQ(info.dwBuildNumber, 3790u);
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 1");
}

}  // namespace
}  // namespace kivo::test
