// No text of the templates is cut at the display's DPI (the shell stage runs
// these at 96 and at 144): the main window with the longest values its fields
// hold, fitted as the window fits them, and the other templates as they open.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "win32ui/StaticTextFit.h"
#include "win32ui/WinApi.h"

#include <gtest/gtest.h>

namespace kivo::win32ui {
namespace {

INT_PTR CALLBACK PlainProcedure(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

struct Check {
  HWND dialog;
  std::vector<std::string> cut;
};

// A label's text wrapped inside its width must fit its height; a button's one
// line its width, less the edges; both stay inside the window.
BOOL CALLBACK CheckOne(HWND control, LPARAM data) {
  auto* check = reinterpret_cast<Check*>(data);
  char className[16] = "";
  GetClassNameA(control, className, sizeof className);
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  const bool label = lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT;
  const bool button = lstrcmpiA(className, "Button") == 0 && (style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
  char text[512] = "";
  const int length = GetWindowTextA(control, text, sizeof text);
  if ((!label && !button) || length == 0 || (style & WS_VISIBLE) == 0) return TRUE;
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(check->dialog, WM_GETFONT, 0, 0)));
  RECT box{};
  GetClientRect(control, &box);
  const int room = button ? box.right - 4 : box.right;
  RECT needed{0, 0, room, 0};
  const UINT prefix = (label && (style & SS_NOPREFIX) != 0) ? DT_NOPREFIX : 0;
  DrawTextA(dc, text, length, &needed, DT_CALCRECT | prefix | (label ? DT_WORDBREAK : DT_SINGLELINE));
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, check->dialog, reinterpret_cast<POINT*>(&place), 2);
  RECT client{};
  GetClientRect(check->dialog, &client);
  if (needed.right > room || needed.bottom > box.bottom || place.right > client.right ||
      place.bottom > client.bottom) {
    char line[700];
    std::snprintf(line, sizeof line, "\"%s\" needs %ldx%ld, has %dx%ld", text, needed.right, needed.bottom,
                  room, box.bottom);
    check->cut.push_back(line);
  }
  return TRUE;
}

std::vector<std::string> CutTexts(HWND dialog) {
  Check check{dialog, {}};
  EnumChildWindows(dialog, CheckOne, reinterpret_cast<LPARAM>(&check));
  return check.cut;
}

int Dpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

TEST(StaticTextFitTest, MainWindowShowsTheLongestValuesWhole) {
  HWND dialog =
      CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr, PlainProcedure, 0);
  ASSERT_NE(dialog, nullptr);
  const std::pair<int, const char*> values[] = {
      {IDC_DRIVER_TEXT, "Zelka NT Storage Controller driver 2.10.04"},
      {IDC_MONITOR_TEXT, "ZM 2.01.004.0016"},
      {IDC_FIRMWARE_TEXT, "ZF 2.04.011.0016"},
      {IDC_BIOS_TEXT, "ZB 2.02.007.0016"},
      {IDC_PCBA_TEXT, "PC-3A-08"},
      {IDC_ACHIP_TEXT, "AC 1.3.0"},
      {IDC_PCHIP_TEXT, "PC 2.0.0"},
      {IDC_MODEL_TEXT, "Zelka Z-4800 Pro"},
      {IDC_COMPUTER_NAME, "WORKSTATION-015"},
      {IDC_TIME_TEXT, "Wed Dec 30 23:59:59 2026"},
      {IDC_OS_TEXT, "Microsoft Windows NT Enterprise Server 10.0 (Build 20348)"},
      {IDC_UNITS_TEXT, "Unit 0: RAID 5, 3 drives"}};
  for (const auto& [id, text] : values) SetDlgItemTextA(dialog, id, text);
  // As the main window fits its values.
  FitStaticTexts(dialog, {IDC_DRIVER_TEXT, IDC_MONITOR_TEXT, IDC_FIRMWARE_TEXT, IDC_BIOS_TEXT, IDC_PCBA_TEXT,
                          IDC_ACHIP_TEXT, IDC_PCHIP_TEXT, IDC_MODEL_TEXT});
  std::printf("main window at %d DPI\n", Dpi());
  for (const std::string& cut : CutTexts(dialog)) ADD_FAILURE() << cut << " at " << Dpi() << " DPI";
  DestroyWindow(dialog);
}

TEST(StaticTextFitTest, OtherTemplatesShowTheirTextsWhole) {
  for (int id : {IDD_ALERT, IDD_EMAIL_SETUP, IDD_ABOUTBOX}) {
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, PlainProcedure, 0);
    ASSERT_NE(dialog, nullptr);
    // As About fits its version and notice.
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, (std::string("version ") + ProgramVersionText()).c_str());
    SetDlgItemTextA(dialog, IDC_ABOUT_NOTICE, kLegalNotice);
    FitStaticTexts(dialog);
    for (const std::string& cut : CutTexts(dialog)) ADD_FAILURE() << "template " << id << ": " << cut;
    DestroyWindow(dialog);
  }
}

}  // namespace
}  // namespace kivo::win32ui
