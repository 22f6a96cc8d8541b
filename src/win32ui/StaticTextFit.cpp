// Labels grown to show their text on one line.
#include "win32ui/StaticTextFit.h"

#include <algorithm>
#include <string>

namespace kivo::win32ui {

namespace {

struct FitState {
  HWND dialog;
  HDC dc;
  int extraWidth;                  // how far the dialog must grow to the right
  std::initializer_list<int> ids;  // empty: every label
};

bool IsOneLineLabel(HWND control, int lineHeight) {
  char className[16] = "";
  GetClassNameA(control, className, sizeof className);
  if (lstrcmpiA(className, "Static") != 0) return false;
  const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
  const LONG_PTR kind = style & SS_TYPEMASK;
  if (kind != SS_LEFT && kind != SS_LEFTNOWORDWRAP) return false;
  RECT rect{};
  GetWindowRect(control, &rect);
  return rect.bottom - rect.top < 2 * lineHeight;
}

BOOL CALLBACK FitOne(HWND control, LPARAM data) {
  auto* state = reinterpret_cast<FitState*>(data);
  if (state->ids.size() != 0 &&
      std::find(state->ids.begin(), state->ids.end(), GetDlgCtrlID(control)) == state->ids.end()) {
    return TRUE;
  }
  TEXTMETRICA metrics{};
  GetTextMetricsA(state->dc, &metrics);
  if (!IsOneLineLabel(control, metrics.tmHeight)) return TRUE;
  const int length = GetWindowTextLengthA(control);
  if (length == 0) return TRUE;
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  GetWindowTextA(control, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  RECT needed{0, 0, 0, 0};
  const UINT prefix = (GetWindowLongPtrA(control, GWL_STYLE) & SS_NOPREFIX) != 0 ? DT_NOPREFIX : 0;
  DrawTextA(state->dc, text.c_str(), length, &needed, DT_CALCRECT | DT_SINGLELINE | prefix);
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, state->dialog, reinterpret_cast<POINT*>(&rect), 2);
  const int width = needed.right + 1;
  if (width <= rect.right - rect.left) return TRUE;
  SetWindowPos(control, nullptr, 0, 0, width, rect.bottom - rect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(state->dialog, &client);
  // Keep a template margin (7 dialog units) on the right.
  RECT margin{0, 0, 7, 0};
  MapDialogRect(state->dialog, &margin);
  const int overflow = rect.left + width + margin.right - client.right;
  if (overflow > state->extraWidth) state->extraWidth = overflow;
  return TRUE;
}

}  // namespace

void FitStaticTexts(HWND dialog) {
  FitStaticTexts(dialog, {});
}

void FitStaticTexts(HWND dialog, std::initializer_list<int> ids) {
  FitState state{dialog, GetDC(dialog), 0, ids};
  HGDIOBJ old = SelectObject(state.dc, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
  EnumChildWindows(dialog, FitOne, reinterpret_cast<LPARAM>(&state));
  SelectObject(state.dc, old);
  ReleaseDC(dialog, state.dc);
  if (state.extraWidth <= 0) return;
  RECT frame{};
  GetWindowRect(dialog, &frame);
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + state.extraWidth, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kivo::win32ui
