// Contract tests of the file-backed registry in a private temporary directory:
// Win32 statuses, the stored text, other writers, and damaged hive files.
#include "platform/posix/FileRegistry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace kivo::test {
namespace {

using namespace kivo::platform;
namespace fs = std::filesystem;

class FileRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kivo-reg-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    dir_ = root_ + "/config/kivo";
    registry_ = std::make_unique<FileRegistry>(dir_);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string HiveFile(const char* name = "HKEY_USERS") { return dir_ + "/" + name + ".reg"; }
  std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  LONG SetString(HKEY key, const char* name, const char* text) {
    return registry_->RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                     static_cast<DWORD>(std::strlen(text) + 1));
  }
  LONG SetDword(HKEY key, const char* name, DWORD number) {
    return registry_->RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  }
  // Reads a value whole; the status of the read.
  LONG Query(Registry& registry, HKEY key, const char* name, DWORD* type, std::vector<BYTE>* data) {
    DWORD size = 0;
    LONG status = registry.RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (status != ERROR_SUCCESS) return status;
    data->assign(size, 0xEE);
    return registry.RegQueryValueExA(key, name, nullptr, type, data->data(), &size);
  }

  std::string root_;
  std::string dir_;
  std::unique_ptr<FileRegistry> registry_;
};

TEST_F(FileRegistryTest, ReadsOfAMissingHiveFindNothingAndCreateNothing) {
  HKEY key = 0;
  EXPECT_EQ(registry_->RegOpenKeyA(HKEY_USERS, ".DEFAULT\\Software\\Zelka\\kivo\\Audio", &key),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(registry_->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                                     0, KEY_READ, &key),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(fs::exists(root_ + "/config"));
}

TEST_F(FileRegistryTest, CreateKeyMakesParentsAPrivateDirectoryAndTheExportText) {
  HKEY key = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, ".DEFAULT\\Software\\Zelka\\kivo\\Email", &key), 0);
  ASSERT_EQ(SetString(key, "Host", "mail.example"), 0);
  ASSERT_EQ(SetDword(key, "SendEmail", 1), 0);
  EXPECT_EQ(registry_->RegCloseKey(key), 0);

  struct stat info {};
  ASSERT_EQ(::stat(dir_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(ReadFile(HiveFile()),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_USERS\\.DEFAULT]\n\n"
            "[HKEY_USERS\\.DEFAULT\\Software]\n\n"
            "[HKEY_USERS\\.DEFAULT\\Software\\Zelka]\n\n"
            "[HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo]\n\n"
            "[HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\Email]\n"
            "\"Host\"=\"mail.example\"\n"
            "\"SendEmail\"=dword:00000001\n\n");
  EXPECT_FALSE(fs::exists(HiveFile("HKEY_LOCAL_MACHINE")));
  // Only the hive and its lock file remain: no temporary file is left behind.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"HKEY_USERS.reg", "HKEY_USERS.reg.lock"}));
}

TEST_F(FileRegistryTest, StringSizeCountsTheNulAndShortBuffersAskForMore) {
  HKEY key = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "A", &key), 0);
  ASSERT_EQ(SetString(key, "Host", "smtp"), 0);

  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(registry_->RegQueryValueExA(key, "Host", nullptr, &type, nullptr, &size), 0);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 5u);

  char small[3] = {'x', 'x', 'x'};
  size = sizeof small;
  EXPECT_EQ(registry_->RegQueryValueExA(key, "Host", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
            static_cast<LONG>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 5u);

  char exact[5] = {};
  size = sizeof exact;
  ASSERT_EQ(registry_->RegQueryValueExA(key, "Host", nullptr, &type, reinterpret_cast<BYTE*>(exact), &size),
            0);
  EXPECT_STREQ(exact, "smtp");
  EXPECT_EQ(size, 5u);

  EXPECT_EQ(registry_->RegQueryValueExA(key, "Port", nullptr, &type, nullptr, &size),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  DWORD reserved = 0;
  EXPECT_EQ(registry_->RegQueryValueExA(key, "Host", &reserved, &type, nullptr, &size),
            static_cast<LONG>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(registry_->RegQueryValueExA(key, "Host", nullptr, &type, reinterpret_cast<BYTE*>(exact), nullptr),
            static_cast<LONG>(ERROR_INVALID_PARAMETER));
}

TEST_F(FileRegistryTest, NamesIgnoreCaseAndKeepTheirStoredSpelling) {
  HKEY key = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, ".DEFAULT\\Software\\Zelka\\kivo\\Email", &key), 0);
  ASSERT_EQ(SetString(key, "Host", "one"), 0);
  ASSERT_EQ(registry_->RegCloseKey(key), 0);

  HKEY other = 0;
  ASSERT_EQ(registry_->RegOpenKeyA(HKEY_USERS, ".default\\SOFTWARE\\zelka\\KIVO\\email", &other), 0);
  ASSERT_EQ(SetString(other, "HOST", "two"), 0);
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_EQ(Query(*registry_, other, "host", &type, &data), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(data.data()), "two");
  std::string text = ReadFile(HiveFile());
  EXPECT_NE(text.find("[HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\Email]\n\"Host\"=\"two\"\n"),
            std::string::npos);
  EXPECT_EQ(text.find("HOST"), std::string::npos);
  EXPECT_EQ(text.find("email"), std::string::npos);
}

TEST_F(FileRegistryTest, EveryTypeAndByteSurvivesAReread) {
  struct Case {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
  };
  const std::vector<Case> cases = {
      {"Text", REG_SZ, {'a', '"', '\\', 'b', 0}},
      {"Empty", REG_SZ, {0}},
      {"NoNul", REG_SZ, {'a', 'b'}},
      {"TwoLines", REG_SZ, {'a', '\r', '\n', 'b', 0}},
      {"Number", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
      {"ShortDword", REG_DWORD, {1, 2, 3}},
      {"Binary", REG_BINARY, {0, 1, 0xFF, 0x80}},
      {"NoData", REG_BINARY, {}},
      {"Multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
      {"Expand", REG_EXPAND_SZ, {'%', 'H', '%', 0}},
      {"Odd", 0x12345u, {9}},
      {"", REG_SZ, {'d', 'e', 'f', 0}},
  };
  HKEY key = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\Types", &key), 0);
  for (const Case& c : cases) {
    ASSERT_EQ(
        registry_->RegSetValueExA(key, c.name, 0, c.type, c.data.data(), static_cast<DWORD>(c.data.size())),
        0)
        << c.name;
  }
  FileRegistry reader(dir_);
  HKEY readKey = 0;
  ASSERT_EQ(reader.RegOpenKeyA(HKEY_LOCAL_MACHINE, "system\\types", &readKey), 0);
  for (const Case& c : cases) {
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_EQ(Query(reader, readKey, c.name, &type, &data), 0) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
  std::string text = ReadFile(HiveFile("HKEY_LOCAL_MACHINE"));
  EXPECT_NE(text.find("\"Text\"=\"a\\\"\\\\b\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\"Number\"=dword:12345678\n"), std::string::npos);
  EXPECT_NE(text.find("\"Binary\"=hex:00,01,ff,80\n"), std::string::npos);
  EXPECT_NE(text.find("\"Multi\"=hex(7):61,00,62,00,00\n"), std::string::npos);
  EXPECT_NE(text.find("\"Odd\"=hex(12345):09\n"), std::string::npos);
  EXPECT_NE(text.find("@=\"def\"\n"), std::string::npos);
}

TEST_F(FileRegistryTest, ReadsAHandWrittenFile) {
  WriteFile(HiveFile(),
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
            "; seeded by hand\r\n"
            "[HKEY_USERS\\.DEFAULT\\Software\\Zelka\\kivo\\HTTP]\r\n"
            "\"Port\"=dword:438\r\n"
            "\"Blob\"=hex:01,02,\\\r\n"
            "  03,04\r\n");
  HKEY key = 0;
  // The parents exist although only the deepest key has a section.
  ASSERT_EQ(registry_->RegOpenKeyA(HKEY_USERS, ".DEFAULT\\Software", &key), 0);
  EXPECT_EQ(registry_->RegCloseKey(key), 0);
  ASSERT_EQ(registry_->RegOpenKeyA(HKEY_USERS, ".DEFAULT\\Software\\Zelka\\kivo\\HTTP", &key), 0);
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_EQ(Query(*registry_, key, "Port", &type, &data), 0);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(data, (std::vector<BYTE>{0x38, 0x04, 0, 0}));
  ASSERT_EQ(Query(*registry_, key, "Blob", &type, &data), 0);
  EXPECT_EQ(data, (std::vector<BYTE>{1, 2, 3, 4}));
}

TEST_F(FileRegistryTest, HandlesAreCheckedAndRelativeOpensWork) {
  EXPECT_EQ(registry_->RegCloseKey(0x4242), static_cast<LONG>(ERROR_INVALID_HANDLE));
  HKEY parent = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "One", &parent), 0);
  HKEY child = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(parent, "Two\\Three", &child), 0);
  ASSERT_EQ(SetDword(child, "N", 7), 0);
  HKEY again = 0;
  ASSERT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "one\\two\\three", &again), 0);
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_EQ(Query(*registry_, again, "N", &type, &data), 0);
  EXPECT_EQ(data[0], 7);

  EXPECT_EQ(registry_->RegCloseKey(child), 0);
  EXPECT_EQ(registry_->RegCloseKey(child), static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(registry_->RegQueryValueExA(child, "N", nullptr, &type, nullptr, nullptr),
            static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(SetDword(child, "N", 8), static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(registry_->RegOpenKeyA(0x4242, "x", &again), static_cast<LONG>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "One", nullptr), static_cast<LONG>(ERROR_INVALID_PARAMETER));
}

TEST_F(FileRegistryTest, MalformedKeyPathsAreRejected) {
  HKEY key = 0;
  for (const char* path : {"\\Lead", "Trail\\", "Double\\\\Slash", "Tab\tHere"}) {
    EXPECT_EQ(registry_->RegCreateKeyA(HKEY_USERS, path, &key), static_cast<LONG>(ERROR_BAD_PATHNAME))
        << path;
  }
  std::string longName(256, 'k');
  EXPECT_EQ(registry_->RegCreateKeyA(HKEY_USERS, longName.c_str(), &key),
            static_cast<LONG>(ERROR_BAD_PATHNAME));
  EXPECT_FALSE(fs::exists(HiveFile()));
}

TEST_F(FileRegistryTest, OverLongNamesAndDataAreRefusedAndNothingIsWritten) {
  HKEY key = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "K", &key), 0);
  ASSERT_EQ(SetDword(key, "Keep", 1), 0);
  std::string before = ReadFile(HiveFile());

  std::vector<BYTE> big(kMaxRegValueBytes + 1, 'a');
  EXPECT_EQ(registry_->RegSetValueExA(key, "Big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size())),
            static_cast<LONG>(ERROR_INVALID_PARAMETER));
  std::string longName(kMaxRegValueNameChars + 1, 'n');
  EXPECT_EQ(SetDword(key, longName.c_str(), 1), static_cast<LONG>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetDword(key, "Line\nBreak", 1), static_cast<LONG>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(registry_->RegSetValueExA(key, "Null", 0, REG_BINARY, nullptr, 4),
            static_cast<LONG>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ReadFile(HiveFile()), before);

  // The largest allowed value and name are kept whole.
  big.pop_back();
  longName.pop_back();
  ASSERT_EQ(registry_->RegSetValueExA(key, longName.c_str(), 0, REG_BINARY, big.data(),
                                      static_cast<DWORD>(big.size())),
            0);
  FileRegistry reader(dir_);
  DWORD type = 0;
  std::vector<BYTE> data;
  HKEY readKey = 0;
  ASSERT_EQ(reader.RegOpenKeyA(HKEY_USERS, "K", &readKey), 0);
  ASSERT_EQ(Query(reader, readKey, longName.c_str(), &type, &data), 0);
  EXPECT_EQ(data, big);
}

TEST_F(FileRegistryTest, ChangesByAnotherWriterAreSeenAtOnce) {
  HKEY mine = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "Shared", &mine), 0);
  FileRegistry other(dir_);
  HKEY theirs = 0;
  ASSERT_EQ(other.RegOpenKeyA(HKEY_USERS, "Shared", &theirs), 0);
  ASSERT_EQ(SetDword(mine, "Value", 5), 0);
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_EQ(Query(other, theirs, "Value", &type, &data), 0);
  EXPECT_EQ(data[0], 5);

  // The key goes away under an open handle: the write is refused, not
  // silently made into a new key.
  WriteFile(HiveFile(), "Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\Else]\n");
  EXPECT_EQ(SetDword(mine, "Value", 6), static_cast<LONG>(ERROR_KEY_DELETED));
  EXPECT_EQ(Query(other, theirs, "Value", &type, &data), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileRegistryTest, ConcurrentWritersLoseNoValue) {
  HKEY key = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "Busy", &key), 0);
  constexpr int kWriters = 3;
  constexpr int kValues = 25;
  std::vector<std::thread> writers;
  std::vector<int> failures(kWriters, 0);
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      // Each writer is its own registry, as another process would be.
      FileRegistry registry(dir_);
      HKEY own = 0;
      if (registry.RegOpenKeyA(HKEY_USERS, "Busy", &own) != 0) ++failures[w];
      for (int i = 0; i < kValues; ++i) {
        std::string name = "w" + std::to_string(w) + "v" + std::to_string(i);
        DWORD number = static_cast<DWORD>(i);
        if (registry.RegSetValueExA(own, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4) !=
            0) {
          ++failures[w];
        }
      }
    });
  }
  for (auto& t : writers) t.join();
  EXPECT_EQ(failures, std::vector<int>(kWriters, 0));
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      std::string name = "w" + std::to_string(w) + "v" + std::to_string(i);
      DWORD type = 0;
      std::vector<BYTE> data;
      ASSERT_EQ(Query(*registry_, key, name.c_str(), &type, &data), 0) << name;
      EXPECT_EQ(data[0], i);
    }
  }
}

TEST_F(FileRegistryTest, WriterProcessesLoseNoValueAndReadersNeverSeeHalfAFile) {
  HKEY key = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "Busy", &key), 0);
  constexpr int kWriters = 2;
  constexpr int kValues = 20;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      FileRegistry registry(dir_);
      HKEY own = 0;
      int failures = registry.RegOpenKeyA(HKEY_USERS, "Busy", &own) != 0;
      for (int i = 0; i < kValues; ++i) {
        std::string name = "p" + std::to_string(w) + "v" + std::to_string(i);
        std::string text(200 + i * 50, static_cast<char>('a' + w));
        failures +=
            registry.RegSetValueExA(own, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                    static_cast<DWORD>(text.size() + 1)) != 0;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(child);
  }
  // Meanwhile every read finds a whole file.
  int readFailures = 0;
  int reads = 0;
  std::vector<int> exitStatus;
  while (exitStatus.size() < children.size()) {
    DWORD size = 0;
    LONG status = registry_->RegQueryValueExA(key, "p0v0", nullptr, nullptr, nullptr, &size);
    if (status != 0 && status != static_cast<LONG>(ERROR_FILE_NOT_FOUND)) ++readFailures;
    ++reads;
    int childStatus = 0;
    pid_t done = ::waitpid(-1, &childStatus, WNOHANG);
    ASSERT_GE(done, 0);
    if (done > 0) exitStatus.push_back(childStatus);
  }
  for (int status : exitStatus) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(readFailures, 0);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValues; ++i) {
      std::string name = "p" + std::to_string(w) + "v" + std::to_string(i);
      DWORD type = 0;
      std::vector<BYTE> data;
      ASSERT_EQ(Query(*registry_, key, name.c_str(), &type, &data), 0) << name;
      EXPECT_EQ(data.size(), static_cast<std::size_t>(200 + i * 50 + 1));
    }
  }
}

// A damaged hive: every call on it fails with ERROR_REGISTRY_CORRUPT, the
// reason names the file and line, and the file keeps every byte.
struct DamagedHive {
  const char* label;
  std::string text;
  const char* reason;
};

class DamagedHiveTest : public FileRegistryTest, public ::testing::WithParamInterface<DamagedHive> {};

TEST_P(DamagedHiveTest, IsReportedAndNeverRewritten) {
  const DamagedHive& damaged = GetParam();
  WriteFile(HiveFile(), damaged.text);
  // The other hive is unaffected.
  HKEY machine = 0;
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_LOCAL_MACHINE, "Fine", &machine), 0);

  ::testing::internal::CaptureStderr();
  HKEY key = 0;
  EXPECT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "Key", &key), static_cast<LONG>(ERROR_REGISTRY_CORRUPT));
  EXPECT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "New", &key), static_cast<LONG>(ERROR_REGISTRY_CORRUPT));
  HKEY root = 0;
  ASSERT_EQ(registry_->RegOpenKeyA(HKEY_LOCAL_MACHINE, nullptr, &root), 0);
  EXPECT_EQ(SetDword(HKEY_USERS, "Root", 1), static_cast<LONG>(ERROR_REGISTRY_CORRUPT));
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(registry_->RegQueryValueExA(HKEY_USERS, "X", nullptr, &type, nullptr, &size),
            static_cast<LONG>(ERROR_REGISTRY_CORRUPT));
  std::string errors = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(ReadFile(HiveFile()), damaged.text);
  EXPECT_NE(errors.find(HiveFile()), std::string::npos) << errors;
  EXPECT_NE(errors.find(damaged.reason), std::string::npos) << errors;
  EXPECT_NE(errors.find("left as it is"), std::string::npos) << errors;
  // Said once, not on every call.
  EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
}

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedHiveTest,
    ::testing::Values(
        DamagedHive{"NoHeader", "[HKEY_USERS\\Key]\n\"A\"=dword:1\n", "line 1: first line is not"},
        DamagedHive{"UnknownType", kHeader + "[HKEY_USERS\\Key]\n\"A\"=qword:0000000000000001\n",
                    "line 4: unknown value type"},
        DamagedHive{"OverLongValue",
                    kHeader + "[HKEY_USERS\\Key]\n\"A\"=hex:" +
                        [] {
                          std::string bytes = "00";
                          for (std::size_t i = 0; i < kMaxRegValueBytes; ++i) bytes += ",00";
                          return bytes;
                        }() +
                        "\n",
                    "line 4: value longer than 1 MiB"},
        DamagedHive{"OverLongString",
                    kHeader + "[HKEY_USERS\\Key]\n\"A\"=\"" + std::string(kMaxRegValueBytes, 'x') + "\"\n",
                    "line 4: string value: quoted text longer than the limit"},
        DamagedHive{"LongDword", kHeader + "[HKEY_USERS\\Key]\n\"A\"=dword:123456789\n",
                    "line 4: dword value"},
        DamagedHive{"OpenString", kHeader + "[HKEY_USERS\\Key]\n\"A\"=\"abc\n", "without its closing quote"},
        DamagedHive{"BadEscape", kHeader + "[HKEY_USERS\\Key]\n\"A\"=\"a\\nb\"\n", "unknown escape"},
        DamagedHive{"ValueFirst", kHeader + "\"A\"=dword:1\n", "line 3: value before the first key"},
        DamagedHive{"OtherHive", kHeader + "[HKEY_LOCAL_MACHINE\\Key]\n", "line 3: key outside HKEY_USERS"},
        DamagedHive{"Deletion", kHeader + "[-HKEY_USERS\\Key]\n", "key deletion entry"},
        DamagedHive{"ValueDeletion", kHeader + "[HKEY_USERS\\Key]\n\"A\"=-\n", "value deletion entry"},
        DamagedHive{"Garbage", kHeader + "[HKEY_USERS\\Key]\nHost=mail\n", "line 4: line is neither"},
        DamagedHive{"TrailingComma", kHeader + "[HKEY_USERS\\Key]\n\"A\"=hex:01,\n", "ends with \",\""},
        DamagedHive{"DanglingContinuation", kHeader + "[HKEY_USERS\\Key]\n\"A\"=hex:01,\\\n",
                    "continued past the end"},
        DamagedHive{"EmptyKeyPart", kHeader + "[HKEY_USERS\\Key\\\\Sub]\n", "invalid key name"}),
    [](const ::testing::TestParamInfo<DamagedHive>& info) { return std::string(info.param.label); });

TEST_F(FileRegistryTest, AMendedFileWorksAgainAndNewDamageIsReportedAgain) {
  const std::string broken = kHeader + "[HKEY_USERS\\Key]\n\"A\"=qword:1\n";
  WriteFile(HiveFile(), broken);
  HKEY key = 0;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "Key", &key), static_cast<LONG>(ERROR_REGISTRY_CORRUPT));
  WriteFile(HiveFile(), kHeader + "[HKEY_USERS\\Key]\n\"A\"=dword:1\n");
  EXPECT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "Key", &key), 0);
  WriteFile(HiveFile(), broken);
  EXPECT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "Key", &key), static_cast<LONG>(ERROR_REGISTRY_CORRUPT));
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("line 4: unknown value type"), std::string::npos);
  EXPECT_NE(errors.find("line 4: unknown value type", errors.find('\n')), std::string::npos) << errors;
}

TEST_F(FileRegistryTest, AnUnusableDirectoryFailsWritesWithAStatus) {
  // A plain file where the directory should be.
  WriteFile(root_ + "/config", "not a directory");
  ::testing::internal::CaptureStderr();
  HKEY key = 0;
  EXPECT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "Key", &key), static_cast<LONG>(ERROR_CANTWRITE));
  EXPECT_EQ(SetDword(HKEY_USERS, "Value", 1), static_cast<LONG>(ERROR_CANTWRITE));
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("cannot create registry directory " + root_ + "/config"), std::string::npos)
      << errors;
  EXPECT_EQ(ReadFile(root_ + "/config"), "not a directory");
}

TEST_F(FileRegistryTest, AHiveThatCannotBeReadFailsWithAStatus) {
  fs::create_directories(HiveFile());  // a directory in place of the file
  ::testing::internal::CaptureStderr();
  HKEY key = 0;
  EXPECT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "Key", &key), static_cast<LONG>(ERROR_CANTREAD));
  EXPECT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "Key", &key), static_cast<LONG>(ERROR_CANTREAD));
  std::string errors = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("cannot read registry file " + HiveFile()), std::string::npos) << errors;
  EXPECT_TRUE(fs::is_directory(HiveFile()));
}

TEST_F(FileRegistryTest, AHiveThatIsASymbolicLinkIsWrittenThroughTheLink) {
  WriteFile(root_ + "/shared/users.reg", kHeader + "[HKEY_USERS\\Key]\n\n");
  fs::create_directories(dir_);
  fs::create_symlink("../../shared/users.reg", HiveFile());
  HKEY key = 0;
  ASSERT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "Key", &key), 0);
  ASSERT_EQ(SetDword(key, "Value", 7), 0);
  EXPECT_TRUE(fs::is_symlink(HiveFile()));
  EXPECT_EQ(ReadFile(root_ + "/shared/users.reg"),
            kHeader + "[HKEY_USERS\\Key]\n\"Value\"=dword:00000007\n\n");
}

TEST_F(FileRegistryTest, AHiveKeepsItsModeAndAReadOnlyOneIsNotReplaced) {
  struct Row {
    fs::perms mode;
    LONG status;
  };
  const Row rows[] = {
      {fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read, ERROR_SUCCESS},
      {fs::perms::owner_read, static_cast<LONG>(ERROR_ACCESS_DENIED)},
  };
  for (const Row& row : rows) {
    const std::string before = kHeader + "[HKEY_USERS\\Key]\n\n";
    WriteFile(HiveFile(), before);
    fs::permissions(HiveFile(), row.mode);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SetDword(HKEY_USERS, "Value", 1), row.status);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(fs::status(HiveFile()).permissions(), row.mode);
    if (row.status != ERROR_SUCCESS) {
      EXPECT_EQ(ReadFile(HiveFile()), before);
      EXPECT_NE(errors.find("is read-only"), std::string::npos) << errors;
    }
    fs::permissions(HiveFile(), fs::perms::owner_read | fs::perms::owner_write);
  }
}

// The parsed hive is kept between calls, but an edit in place that keeps the
// file's size, inode and times is still seen by the next call.
TEST_F(FileRegistryTest, AnEditThatKeepsSizeAndTimesIsSeen) {
  WriteFile(HiveFile(), kHeader + "[HKEY_USERS\\Key]\n\"Value\"=dword:00000001\n\n");
  struct stat before {};
  ASSERT_EQ(::stat(HiveFile().c_str(), &before), 0);
  HKEY key = 0;
  ASSERT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "Key", &key), 0);
  DWORD type = 0;
  std::vector<BYTE> data;
  ASSERT_EQ(Query(*registry_, key, "Value", &type, &data), 0);
  EXPECT_EQ(data[0], 1);
  WriteFile(HiveFile(), kHeader + "[HKEY_USERS\\Key]\n\"Value\"=dword:00000002\n\n");
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, HiveFile().c_str(), times, 0), 0);
  ASSERT_EQ(Query(*registry_, key, "Value", &type, &data), 0);
  EXPECT_EQ(data[0], 2);
}

TEST_F(FileRegistryTest, AnEmptyFileIsAnEmptyHive) {
  WriteFile(HiveFile(), "");
  HKEY key = 0;
  EXPECT_EQ(registry_->RegOpenKeyA(HKEY_USERS, "Key", &key), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(registry_->RegCreateKeyA(HKEY_USERS, "Key", &key), 0);
  EXPECT_EQ(ReadFile(HiveFile()), kHeader + "[HKEY_USERS\\Key]\n\n");
}

TEST(DefaultRegistryDirectoryTest, FollowsTheEnvironment) {
  auto keep = [](const char* name) {
    const char* value = std::getenv(name);
    return std::pair<std::string, bool>(value ? value : "", value != nullptr);
  };
  auto restore = [](const char* name, const std::pair<std::string, bool>& saved) {
    if (saved.second) {
      ::setenv(name, saved.first.c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  };
  auto registryDir = keep("KIVO_REGISTRY_DIR");
  auto config = keep("XDG_CONFIG_HOME");
  auto home = keep("HOME");

  ::setenv("KIVO_REGISTRY_DIR", "/srv/kivo-reg", 1);
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  ::setenv("HOME", "/home/admin", 1);
  EXPECT_EQ(DefaultRegistryDirectory(), "/srv/kivo-reg");
  ::setenv("KIVO_REGISTRY_DIR", "", 1);
  EXPECT_EQ(DefaultRegistryDirectory(), "/cfg/kivo");
  ::unsetenv("KIVO_REGISTRY_DIR");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(DefaultRegistryDirectory(), "/home/admin/.config/kivo");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultRegistryDirectory(), "/home/admin/.config/kivo");

  restore("KIVO_REGISTRY_DIR", registryDir);
  restore("XDG_CONFIG_HOME", config);
  restore("HOME", home);
}

TEST(MakeFileRegistryTest, GivesAWorkingRegistry) {
  std::string pattern = (fs::temp_directory_path() / "kivo-reg-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  auto registry = MakeFileRegistry(pattern);
  HKEY key = 0;
  ASSERT_EQ(registry->RegCreateKeyA(HKEY_USERS, "K", &key), 0);
  EXPECT_TRUE(fs::exists(pattern + "/HKEY_USERS.reg"));
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace kivo::test
