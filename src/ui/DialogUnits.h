// DialogUnits: lays dialog templates out in pixels from their dialog-unit
// rectangles, using the base units of the dialog font. Used by every window
// of the shell (main window, alert window, About box, e-mail setup).
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace kivo {

class DialogUnits {
 public:
  // Horizontal base unit: average character width; vertical: font height.
  DialogUnits(int baseX, int baseY) : baseX_(baseX > 0 ? baseX : 1), baseY_(baseY > 0 ? baseY : 1) {}

  // Base units of a font as the dialog manager takes them: the width of
  // "A..Za..z" over 52, rounded, and the font's height.
  static DialogUnits ForFont(const QFont& font);
  // The base units of DialogFont().
  static DialogUnits ForDialogFont();

  int BaseX() const { return baseX_; }
  int BaseY() const { return baseY_; }
  // A horizontal dialog unit is a quarter of the base width, a vertical one an
  // eighth of the base height; results round to the nearest pixel.
  int X(int units) const { return Scale(units, baseX_, 4); }
  int Y(int units) const { return Scale(units, baseY_, 8); }
  QRect Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }
  QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

 private:
  static int Scale(int value, int numerator, int denominator);

  int baseX_;
  int baseY_;
};

// The templates' font, "MS Sans Serif" 8 points; where it is missing it is
// substituted by Liberation Sans, whose metrics are closest.
QFont DialogFont();

}  // namespace kivo
