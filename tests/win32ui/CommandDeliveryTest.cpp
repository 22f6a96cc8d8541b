// kivo-command.exe's delivery on Windows: the command number as typed, the
// command message posted to the window titled as the utility, and a utility
// that cannot be started or shows no window told in words, within the limit.
#include <optional>
#include <string>
#include <vector>

#include "win32ui/CommandDelivery.h"

#include <gtest/gtest.h>

namespace kivo::win32ui {
namespace {

TEST(CommandDeliveryTest, CommandNumbersAsTyped) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"32778", 32778},      {"0", 0},           {"65535", 65535},      {"65536", std::nullopt},
      {"-1", std::nullopt},  {"", std::nullopt}, {"12a", std::nullopt}, {" 1", std::nullopt},
      {"0x10", std::nullopt}};
  for (const auto& [text, number] : cases) EXPECT_EQ(ParseCommandNumber(text), number) << '"' << text << '"';
}

std::vector<WPARAM> commands;

LRESULT CALLBACK RecordCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) commands.push_back(wParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(CommandDeliveryTest, TheCommandReachesTheRunningUtilitysWindow) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = RecordCommands;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "KivoCommandTarget";
  RegisterClassA(&windowClass);
  // Hidden, as the utility's window is while it sits in the tray.
  HWND utility = CreateWindowExA(0, "KivoCommandTarget", kMainWindowTitle, WS_POPUP, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(utility, nullptr);
  commands.clear();
  CommandDelivery delivery("C:\\no such folder\\kivo.exe", 1000);
  std::string error;
  EXPECT_EQ(delivery.Deliver(32778, &error), 0) << error;
  EXPECT_FALSE(delivery.StartedUtility());
  MSG message;
  const ULONGLONG deadline = GetTickCount64() + 5000;
  while (commands.empty() && GetTickCount64() < deadline) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageA(&message);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
  }
  EXPECT_EQ(commands, std::vector<WPARAM>{32778});
  DestroyWindow(utility);
}

TEST(CommandDeliveryTest, AUtilityThatCannotBeStartedIsNamed) {
  if (FindWindowA(nullptr, kMainWindowTitle) != nullptr) GTEST_SKIP() << "a utility runs on this desktop";
  CommandDelivery delivery("C:\\no such folder\\kivo.exe", 1000);
  std::string error;
  EXPECT_EQ(delivery.Deliver(32778, &error), 1);
  EXPECT_NE(error.find("is not running and could not be started: C:\\no such folder\\kivo.exe: "),
            std::string::npos)
      << error;
}

TEST(CommandDeliveryTest, AStartedProgramWithoutTheWindowEndsTheWaitAtItsLimit) {
  if (FindWindowA(nullptr, kMainWindowTitle) != nullptr) GTEST_SKIP() << "a utility runs on this desktop";
  // A program that ends at once, without a window of that title.
  char system[MAX_PATH] = "";
  GetSystemDirectoryA(system, MAX_PATH);
  CommandDelivery delivery(std::string(system) + "\\hostname.exe", 600);
  std::string error;
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(delivery.Deliver(32778, &error), 1);
  const ULONGLONG waited = GetTickCount64() - start;
  EXPECT_TRUE(delivery.StartedUtility());
  EXPECT_NE(error.find("was started but ended (exit code 0) without a window"), std::string::npos) << error;
  EXPECT_GE(waited, 550u);
  EXPECT_LT(waited, 5000u);
}

}  // namespace
}  // namespace kivo::win32ui
