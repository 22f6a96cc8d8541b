// StaticTextFit: one-line labels of a dialog template shown whole. The
// templates are laid out for the dialog font of the original system; where
// the font this system substitutes sets a label wider than its rectangle
// (the text would wrap onto a hidden second line), the label grows to the
// right, and the dialog with it when the label would leave it.
#pragma once

#include <initializer_list>

#include "win32ui/WinApi.h"

namespace kivo::win32ui {

// Call from WM_INITDIALOG, after the texts are set.
void FitStaticTexts(HWND dialog);
// The same for the labels of these control ids only (texts set later, as the
// main window's values are).
void FitStaticTexts(HWND dialog, std::initializer_list<int> ids);

}  // namespace kivo::win32ui
