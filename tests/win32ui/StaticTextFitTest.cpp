// No text of the templates is cut at the display's DPI (the shell stage runs
// this at 96 and at 144): each template with the longest values its fields
// hold, fitted as its window fits them.
#include <string>
#include <utility>

#include "win32ui/StaticTextFit.h"
#include "win32ui/WinApi.h"

#include <gtest/gtest.h>

namespace kivo::win32ui {
namespace {

INT_PTR CALLBACK PlainProcedure(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

// A label's text wrapped inside its width fits its height; a push button's
// one line fits inside its edges; both stay inside the window.
BOOL CALLBACK ExpectWhole(HWND control, LPARAM dialogParam) {
  const HWND dialog = reinterpret_cast<HWND>(dialogParam);
  char className[16] = "";
  GetClassNameA(control, className, sizeof className);
  const LONG style = GetWindowLongA(control, GWL_STYLE);
  const bool label = lstrcmpiA(className, "Static") == 0 && (style & SS_TYPEMASK) <= SS_RIGHT;
  const bool button = lstrcmpiA(className, "Button") == 0 && (style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
  char text[512] = "";
  const int length = GetWindowTextA(control, text, sizeof text);
  if ((!label && !button) || length == 0 || (style & WS_VISIBLE) == 0) return TRUE;
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
  RECT box{};
  GetClientRect(control, &box);
  RECT needed{0, 0, button ? box.right - 4 : box.right, 0};
  const UINT prefix = (label && (style & SS_NOPREFIX) != 0) ? DT_NOPREFIX : 0;
  DrawTextA(dc, text, length, &needed, DT_CALCRECT | prefix | (label ? DT_WORDBREAK : DT_SINGLELINE));
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  RECT place{};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  RECT client{};
  GetClientRect(dialog, &client);
  const std::string where = std::string("\"") + text + "\" at " + std::to_string(dpi) + " DPI";
  EXPECT_LE(needed.right, button ? box.right - 4 : box.right) << where;
  EXPECT_LE(needed.bottom, box.bottom) << where;
  EXPECT_LE(place.right, client.right) << where;
  EXPECT_LE(place.bottom, client.bottom) << where;
  return TRUE;
}

TEST(StaticTextFitTest, EveryTemplateShowsItsLongestTextsWhole) {
  const std::pair<int, std::string> values[] = {
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
  for (int id : {IDD_MAIN, IDD_ALERT, IDD_EMAIL_SETUP, IDD_ABOUTBOX}) {
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), nullptr, PlainProcedure, 0);
    ASSERT_NE(dialog, nullptr);
    if (id == IDD_MAIN) {
      for (const auto& [control, text] : values) SetDlgItemTextA(dialog, control, text.c_str());
      FitStaticTexts(dialog, {IDC_DRIVER_TEXT, IDC_MONITOR_TEXT, IDC_FIRMWARE_TEXT, IDC_BIOS_TEXT,
                              IDC_PCBA_TEXT, IDC_ACHIP_TEXT, IDC_PCHIP_TEXT, IDC_MODEL_TEXT});
    } else {
      SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, (std::string("version ") + ProgramVersionText()).c_str());
      SetDlgItemTextA(dialog, IDC_ABOUT_NOTICE, kLegalNotice);
      FitStaticTexts(dialog);
    }
    SCOPED_TRACE("template " + std::to_string(id));
    EnumChildWindows(dialog, ExpectWhole, reinterpret_cast<LPARAM>(dialog));
    DestroyWindow(dialog);
  }
}

}  // namespace
}  // namespace kivo::win32ui
