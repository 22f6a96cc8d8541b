// Dialog-unit conversion for the shell's window templates.
#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace kivo {

int DialogUnits::Scale(int value, int numerator, int denominator) {
  // Rounds half away from zero, as MulDiv does.
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

DialogUnits DialogUnits::ForFont(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogUnits((width / 26 + 1) / 2, metrics.height());
}

DialogUnits DialogUnits::ForDialogFont() {
  return ForFont(DialogFont());
}

QFont DialogFont() {
  static const bool substituted = [] {
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    return true;
  }();
  (void)substituted;
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPointSize(8);
  return font;
}

}  // namespace kivo
