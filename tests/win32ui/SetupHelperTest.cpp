// What setup's helper does, under Wine with a display: the settings key's
// grant to the members of Users (read back as an administrator would look at
// it, in a key of the test's own), the utility started only with the
// desktop shell's token, never with the caller's own.
#include <string>

#include "win32ui/DesktopUserLaunch.h"
#include "win32ui/SettingsKeyAccess.h"

#include <gtest/gtest.h>

// user32 has it, the headers do not declare it.
extern "C" __declspec(dllimport) BOOL WINAPI SetShellWindow(HWND window);

namespace kivo::win32ui {
namespace {

// The key's access list as its bytes, to see that nothing else changed.
std::string AccessList(::HKEY root, const std::string& path) {
  ::HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS) return "<no key>";
  ::DWORD size = 0;
  RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
  std::string bytes(size, '\0');
  RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, bytes.data(), &size);
  RegCloseKey(key);
  return bytes;
}

class SettingsKeyAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = "Software\\KivoTest\\Grant" + std::to_string(GetCurrentProcessId());
    ::HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, base_.c_str()); }
  std::string base_;
};

TEST_F(SettingsKeyAccessTest, UsersMaySetValuesAndCreateSubkeysThereAndNothingWider) {
  const std::string settings = base_ + "\\kivo";
  const std::string parentBefore = AccessList(HKEY_CURRENT_USER, base_);
  EXPECT_EQ(SettingsKeyAccess::UsersGranted(HKEY_CURRENT_USER, settings), 0u) << "no key yet";
  std::string step;
  ASSERT_EQ(SettingsKeyAccess::GrantUsers(HKEY_CURRENT_USER, settings, &step), 0u) << step;
  // KEY_SET_VALUE | KEY_CREATE_SUB_KEY, for the key and handed on to its
  // subkeys; no more.
  EXPECT_EQ(SettingsKeyAccess::UsersGranted(HKEY_CURRENT_USER, settings), 0x6u);
  EXPECT_EQ(AccessList(HKEY_CURRENT_USER, base_), parentBefore) << "the parent's list changed";
  EXPECT_EQ(SettingsKeyAccess::UsersGranted(HKEY_CURRENT_USER, base_), 0u);

  // An upgrade grants again: the list stays as the first grant made it.
  const std::string once = AccessList(HKEY_CURRENT_USER, settings);
  ASSERT_EQ(SettingsKeyAccess::GrantUsers(HKEY_CURRENT_USER, settings, &step), 0u) << step;
  EXPECT_EQ(AccessList(HKEY_CURRENT_USER, settings), once);
}

TEST_F(SettingsKeyAccessTest, AKeyThatCannotBeMadeNamesTheStep) {
  std::string step;
  // A root that is no open key.
  EXPECT_NE(SettingsKeyAccess::GrantUsers(reinterpret_cast<::HKEY>(0x1234), base_, &step), 0u);
  EXPECT_EQ(step, "opening the key");
}

// A window that the system names as the desktop's shell, for one test.
class StandInShell {
 public:
  StandInShell() {
    window_ = CreateWindowExA(0, "STATIC", "stand-in shell", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    set_ = window_ != nullptr && SetShellWindow(window_) && GetShellWindow() == window_;
  }
  ~StandInShell() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  bool Set() const { return set_; }

 private:
  HWND window_ = nullptr;
  bool set_ = false;
};

// The shell stage's driver, copied as notepad.exe, leaves planted.txt in its
// folder when it runs: a program whose start can be seen.
class DesktopUserLaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    folder = folder.substr(0, folder.find_last_of('\\'));
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    folder_ = std::string(temp) + "kivo-launch-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder_.c_str(), nullptr);
    program_ = folder_ + "\\notepad.exe";
    ASSERT_TRUE(CopyFileA((folder + "\\kivo-shell-driver.exe").c_str(), program_.c_str(), FALSE))
        << "kivo-shell-driver.exe beside the tests";
  }
  void TearDown() override {
    DeleteFileA(program_.c_str());
    DeleteFileA(Trace().c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  std::string Trace() const { return folder_ + "\\planted.txt"; }
  bool Started(::DWORD limitMs) const {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (GetFileAttributesA(Trace().c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (GetTickCount64() >= deadline) return false;
      Sleep(20);  // another process's file cannot be waited on otherwise
    }
    return true;
  }
  std::string folder_;
  std::string program_;
};

TEST_F(DesktopUserLaunchTest, WithoutADesktopShellNothingIsStarted) {
  if (GetShellWindow() != nullptr) GTEST_SKIP() << "this desktop has a shell";
  std::string step;
  EXPECT_EQ(DesktopUserLaunch::Start(program_, folder_, &step), static_cast<::DWORD>(ERROR_NOT_FOUND));
  EXPECT_EQ(step, "finding the desktop's shell");
  EXPECT_FALSE(Started(300)) << "started with this process's own token";
}

TEST_F(DesktopUserLaunchTest, TheProgramStartsWithTheShellsToken) {
  if (GetShellWindow() != nullptr) GTEST_SKIP() << "this desktop has a shell of its own";
  StandInShell shell;
  ASSERT_TRUE(shell.Set());
  std::string step;
  ASSERT_EQ(DesktopUserLaunch::Start(program_, folder_, &step), 0u) << step;
  EXPECT_TRUE(Started(10000));
}

}  // namespace
}  // namespace kivo::win32ui
