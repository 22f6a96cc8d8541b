// WorkArea: placing a window in the middle of the screen's work area (the
// screen without the taskbar), for windows whose owner is hidden or away.
#pragma once

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

// Centres `window` in the work area of the screen nearest to it (the
// primary screen where it lies on none), keeping its size.
void CenterInWorkArea(HWND window);

}  // namespace kivo::win32ui
