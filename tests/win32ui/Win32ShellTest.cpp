// The Win32 shell under a real window system (Wine with a display): the
// templates' pixel sizes follow from their dialog units and the font's base
// units, the menus and strings are the product's, and the alert window, the
// clipboard and the socket notifications behave as a user and a server see
// them.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "DesktopDoubles.h"
#include "win32ui/AlertWindow.h"
#include "win32ui/AsyncSocketWatcher.h"
#include "win32ui/TrayIcon.h"
#include "win32ui/WinApi.h"
#include "win32ui/WinClipboard.h"

#include <gtest/gtest.h>

namespace kivo::win32ui {
namespace {

HINSTANCE Instance() {
  return GetModuleHandleA(nullptr);
}

INT_PTR CALLBACK PlainProcedure(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// Runs the window messages of this thread until `done` holds or the time is up.
template <typename Condition>
bool PumpUntil(Condition done, DWORD limitMs = 5000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > limitMs) return false;
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
  }
  return true;
}

// The dialog manager's base units of a dialog's font, measured here the way
// it takes them: the average width of "A..Za..z" and the font's height.
SIZE BaseUnitsOf(HWND dialog) {
  HDC dc = GetDC(dialog);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SIZE extent{};
  GetTextExtentPoint32A(dc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &extent);
  SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  return SIZE{(extent.cx / 26 + 1) / 2, metrics.tmHeight};
}

std::string FontFace(HWND dialog) {
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font.lfFaceName;
}

struct TemplateCase {
  int templateId;
  int width, height;          // dialog units
  int control, x, y, cx, cy;  // one control's rectangle in dialog units
};

class TemplateTest : public ::testing::TestWithParam<TemplateCase> {};

TEST_P(TemplateTest, PixelSizesFollowFromDialogUnitsAndTheFontsBaseUnits) {
  const TemplateCase& c = GetParam();
  HWND dialog = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(c.templateId), nullptr, PlainProcedure, 0);
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_HIDE);
  EXPECT_EQ(FontFace(dialog), "MS Sans Serif");
  const SIZE base = BaseUnitsOf(dialog);
  RECT client{};
  GetClientRect(dialog, &client);
  std::printf("template %d: base units %ldx%ld, %dx%d units = %ldx%ld pixels\n", c.templateId, base.cx,
              base.cy, c.width, c.height, client.right, client.bottom);
  EXPECT_EQ(client.right, MulDiv(c.width, base.cx, 4));
  EXPECT_EQ(client.bottom, MulDiv(c.height, base.cy, 8));

  RECT control{};
  GetWindowRect(GetDlgItem(dialog, c.control), &control);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control), 2);
  EXPECT_EQ(control.left, MulDiv(c.x, base.cx, 4));
  EXPECT_EQ(control.top, MulDiv(c.y, base.cy, 8));
  EXPECT_EQ(control.right - control.left, MulDiv(c.cx, base.cx, 4));
  EXPECT_EQ(control.bottom - control.top, MulDiv(c.cy, base.cy, 8));
  DestroyWindow(dialog);
}

INSTANTIATE_TEST_SUITE_P(
    Templates, TemplateTest,
    ::testing::Values(TemplateCase{IDD_MAIN, 398, 257, IDC_UNIT_LIST, 14, 58, 366, 107},
                      TemplateCase{IDD_ALERT, 437, 215, IDC_ALERT_MESSAGE, 7, 41, 423, 138},
                      TemplateCase{IDD_EMAIL_SETUP, 228, 159, IDC_ENABLE_EMAIL, 18, 102, 130, 10},
                      TemplateCase{IDD_ABOUTBOX, 217, 66, IDOK, 178, 7, 32, 14}));

std::string MenuText(HMENU menu, UINT position) {
  char text[128] = "";
  GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
  return text;
}

TEST(MenuTest, MainMenuCarriesTheCommandsOfTheCommandTable) {
  HMENU menu = LoadMenuA(Instance(), MAKEINTRESOURCEA(IDR_MAINMENU));
  ASSERT_NE(menu, nullptr);
  struct Item {
    int popup, position;
    const char* text;
    UINT id;
  };
  const Item items[] = {{0, 0, "&Return to System Tray", 32772},
                        {0, 1, "&Snapshot", 32776},
                        {0, 2, "&Copy to Clipboard", 32780},
                        {0, 3, "E&xit", 32771},
                        {1, 0, "&Event Log", 32774},
                        {1, 1, "&Audio Off", 32785},
                        {2, 0, "&Help Topics...", 57670},
                        {2, 1, "&About Kivo...", 32773}};
  EXPECT_EQ(MenuText(menu, 0), "&File");
  EXPECT_EQ(MenuText(menu, 1), "&View");
  EXPECT_EQ(MenuText(menu, 2), "&Help");
  for (const Item& item : items) {
    HMENU popup = GetSubMenu(menu, item.popup);
    EXPECT_EQ(MenuText(popup, static_cast<UINT>(item.position)), item.text);
    EXPECT_EQ(GetMenuItemID(popup, item.position), item.id) << item.text;
  }
  EXPECT_NE(GetMenuState(menu, 32774, MF_BYCOMMAND) & MF_GRAYED, 0u);
  DestroyMenu(menu);
}

TEST(MenuTest, TrayMenuAndStringResources) {
  HMENU menu = LoadMenuA(Instance(), MAKEINTRESOURCEA(IDR_TRAYMENU));
  ASSERT_NE(menu, nullptr);
  HMENU popup = GetSubMenu(menu, 0);
  EXPECT_EQ(MenuText(popup, 0), "&View Alarms");
  EXPECT_EQ(GetMenuItemID(popup, 0), 201u);
  EXPECT_EQ(MenuText(popup, 1), "&About Kivo...");
  EXPECT_EQ(GetMenuItemID(popup, 1), 32781u);
  EXPECT_NE(GetMenuState(popup, 2, MF_BYPOSITION) & MF_SEPARATOR, 0u);
  EXPECT_EQ(MenuText(popup, 3), "E&xit");
  EXPECT_EQ(GetMenuItemID(popup, 3), 203u);
  DestroyMenu(menu);

  const std::pair<UINT, const char*> strings[] = {{101, "&About Kivo..."},
                                                  {103, "Windows sockets initialization failed."},
                                                  {61703, "Failed to launch help."}};
  for (const auto& [id, expected] : strings) {
    char text[128] = "";
    LoadStringA(Instance(), id, text, sizeof text);
    EXPECT_STREQ(text, expected);
  }
}

TEST(TrayIconTest, OnlyDoubleClickAndRightReleaseDoAnything) {
  const std::pair<LPARAM, TrayIcon::TrayAction> cases[] = {
      {WM_LBUTTONDBLCLK, TrayIcon::TrayAction::kShowAlert}, {WM_RBUTTONUP, TrayIcon::TrayAction::kMenu},
      {WM_RBUTTONDOWN, TrayIcon::TrayAction::kNone},        {WM_LBUTTONUP, TrayIcon::TrayAction::kNone},
      {WM_LBUTTONDOWN, TrayIcon::TrayAction::kNone},        {WM_MOUSEMOVE, TrayIcon::TrayAction::kNone}};
  for (const auto& [mouse, action] : cases) EXPECT_EQ(TrayIcon::ActionOfMouseMessage(mouse), action) << mouse;
}

TEST(TrayIconTest, RecordSizeIsTheFirstLayoutOfThisPlatform) {
  // The first layout ends with a 64-character tip; the shell of a 64-bit
  // system knows no 88-byte record.
  EXPECT_EQ(TrayIcon::kRecordSize, offsetof(NOTIFYICONDATAA, szTip) + 64);
}

class AlertWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.messageBoxes = &boxes_;
    context_.launcher = &launcher_;
    ASSERT_TRUE(alert_.Create(Instance(), nullptr));
  }
  std::string Text() const {
    char text[1024] = "";
    GetDlgItemTextA(alert_.Handle(), IDC_ALERT_MESSAGE, text, sizeof text);
    return text;
  }
  void Click(int id) { SendDlgItemMessageA(alert_.Handle(), id, BM_CLICK, 0, 0); }

  test::RecordingMessageBoxes boxes_;
  test::RecordingLauncher launcher_;
  platform::PlatformContext context_;
  int audioOffFlag_ = 0;
  AlertWindow alert_{context_, audioOffFlag_};
};

TEST_F(AlertWindowTest, NewestLineOnTopAndOneOkStopsTheAlarmAndHides) {
  EXPECT_FALSE(IsWindowVisible(alert_.Handle()));
  alert_.ShowAlert("first\r\n");
  alert_.ShowAlert("second\r\n");
  EXPECT_TRUE(IsWindowVisible(alert_.Handle()));
  EXPECT_EQ(Text(), "second\r\nfirst\r\n");
  EXPECT_EQ(alert_.Logic().AlarmStopped(), 0);
  Click(IDOK);
  EXPECT_FALSE(IsWindowVisible(alert_.Handle()));
  EXPECT_EQ(alert_.Logic().AlarmStopped(), 1);
  EXPECT_EQ(Text(), "second\r\nfirst\r\n");
}

TEST_F(AlertWindowTest, OpenBrowserAndEscapeOpenTheAlarmsPageAndTheAlarmGoesOn) {
  alert_.ShowAlert("line\r\n");
  Click(IDCANCEL);
  SendMessageA(alert_.Handle(), WM_COMMAND, IDCANCEL, 0);  // what the Escape key sends
  EXPECT_EQ(launcher_.urls, std::vector<std::string>(2, "http://localhost:1080/alarms.html"));
  EXPECT_TRUE(IsWindowVisible(alert_.Handle()));
  EXPECT_EQ(alert_.Logic().AlarmStopped(), 0);
}

TEST_F(AlertWindowTest, CloseBoxAcknowledgesWithoutOpeningTheBrowser) {
  alert_.ShowAlert("line\r\n");
  SendMessageA(alert_.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindowVisible(alert_.Handle()));
  EXPECT_EQ(alert_.Logic().AlarmStopped(), 1);
  EXPECT_TRUE(launcher_.urls.empty());
}

TEST_F(AlertWindowTest, AudioBoxSilencesTheBeepAndSetsTheProcessSwitch) {
  alert_.ShowAlert("line\r\n");
  EXPECT_TRUE(alert_.Logic().BeepTick());
  Click(IDC_AUDIO_OFF);
  EXPECT_EQ(audioOffFlag_, 1);
  EXPECT_FALSE(alert_.Logic().BeepTick());
  Click(IDC_AUDIO_OFF);
  EXPECT_EQ(audioOffFlag_, 0);
  EXPECT_TRUE(alert_.Logic().BeepTick());
}

// A registry that refuses every key, as Windows refuses a standard user the
// settings key where setup did not let Users change it.
class RefusingRegistry : public platform::Registry {
 public:
  platform::LONG RegOpenKeyA(platform::HKEY, const char*, platform::HKEY*) override { return kDenied; }
  platform::LONG RegOpenKeyExA(platform::HKEY, const char*, platform::DWORD, platform::REGSAM,
                               platform::HKEY*) override {
    return kDenied;
  }
  platform::LONG RegCreateKeyA(platform::HKEY, const char*, platform::HKEY*) override { return kDenied; }
  platform::LONG RegQueryValueExA(platform::HKEY, const char*, platform::DWORD*, platform::DWORD*,
                                  platform::BYTE*, platform::DWORD*) override {
    return kDenied;
  }
  platform::LONG RegSetValueExA(platform::HKEY, const char*, platform::DWORD, platform::DWORD,
                                const platform::BYTE*, platform::DWORD) override {
    return kDenied;
  }
  platform::LONG RegCloseKey(platform::HKEY) override { return 0; }

 private:
  static constexpr platform::LONG kDenied = 5;  // ERROR_ACCESS_DENIED
};

TEST_F(AlertWindowTest, AudioOffThatCannotBeStoredIsToldInABox) {
  RefusingRegistry refusing;
  context_.registry = &refusing;
  alert_.ShowAlert("line\r\n");
  Click(IDC_AUDIO_OFF);
  EXPECT_EQ(audioOffFlag_, 1) << "silent for this run all the same";
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Error: registry access failed, check your setup. (0x5)");
  context_.registry = nullptr;
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return "<not opened>";
  if (::HANDLE data = GetClipboardData(CF_TEXT)) {
    text = static_cast<const char*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}

TEST(WinClipboardTest, ReportArrivesAsPlainTextAndAnEmptyReportIsRefused) {
  HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, Instance(), nullptr);
  WinClipboard clipboard(owner);
  test::RecordingMessageBoxes boxes;
  CopyReportToClipboard(clipboard, boxes, "Controller report\r\nline 2\r\n");
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(ClipboardText(), "Controller report\r\nline 2\r\n");

  CopyReportToClipboard(clipboard, boxes, "");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Unable to copy text to clipboard");
  EXPECT_EQ(ClipboardText(), "");
  DestroyWindow(owner);
}

// A window whose procedure hands the socket message to the watcher, as the
// main window's does.
LRESULT CALLBACK WatcherWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == AsyncSocketWatcher::kSocketMessage) {
    reinterpret_cast<AsyncSocketWatcher*>(GetWindowLongPtrA(window, GWLP_USERDATA))->Dispatch(wParam, lParam);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(AsyncSocketWatcherTest, ReadinessAndCloseArriveAsWindowMessagesUntilUnwatched) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WatcherWindowProcedure;
  windowClass.hInstance = Instance();
  windowClass.lpszClassName = "KivoWatcherTest";
  RegisterClassA(&windowClass);
  HWND window =
      CreateWindowExA(0, "KivoWatcherTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance(), nullptr);
  AsyncSocketWatcher watcher;
  watcher.SetWindow(window);
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&watcher));

  SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  listen(listener, 1);
  SOCKET client = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  SOCKET server = accept(listener, nullptr, nullptr);

  const int fd = static_cast<int>(client);
  std::string received;
  int calls = 0;
  watcher.Watch(fd, [&](int error) {
    ++calls;
    EXPECT_EQ(error, 0);
    char buffer[64];
    const int n = recv(client, buffer, sizeof buffer, 0);
    if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    if (n == 0) watcher.Unwatch(fd);  // the server closed: the owner lets go inside its callback
  });
  send(server, "220 ready\r\n", 11, 0);
  EXPECT_TRUE(PumpUntil([&] { return received == "220 ready\r\n"; }));
  closesocket(server);
  EXPECT_TRUE(PumpUntil([&] { return !watcher.IsWatching(fd); }));
  const int callsAtUnwatch = calls;
  PumpUntil([] { return false; }, 200);  // nothing more arrives for a socket let go
  EXPECT_EQ(calls, callsAtUnwatch);

  closesocket(client);
  closesocket(listener);
  DestroyWindow(window);
  WSACleanup();
}

}  // namespace
}  // namespace kivo::win32ui
