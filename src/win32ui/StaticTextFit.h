// StaticTextFit: one-line labels of a dialog template shown whole. The
// templates are laid out for the dialog font of the original system; where
// the font this system substitutes sets a label wider than its rectangle
// (the text would wrap onto a hidden second line), the label grows to the
// right, and the dialog with it when the label would leave it.
#pragma once

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

// Call from WM_INITDIALOG, after the texts are set.
void FitStaticTexts(HWND dialog);

}  // namespace kivo::win32ui
