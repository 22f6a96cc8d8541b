// Dialog units to pixels, and the dialog font's base units.
#include "ui/DialogUnits.h"

#include <gtest/gtest.h>

#include <QFontInfo>

namespace kivo::test {
namespace {

TEST(DialogUnitsTest, QuarterAndEighthOfBaseUnitsRounded) {
  const DialogUnits du(6, 13);
  struct Case {
    int units;
    int x;
    int y;
  };
  const Case cases[] = {{0, 0, 0},       {1, 2, 2},       {4, 6, 7},   {8, 12, 13},
                        {437, 656, 710}, {215, 323, 349}, {-4, -6, -7}};
  for (const Case& c : cases) {
    EXPECT_EQ(du.X(c.units), c.x) << c.units;
    EXPECT_EQ(du.Y(c.units), c.y) << c.units;
  }
  EXPECT_EQ(du.Rect(7, 41, 423, 138), QRect(11, 67, 635, 224));
  EXPECT_EQ(du.Size(398, 257), QSize(597, 418));
}

TEST(DialogUnitsTest, ZeroBaseUnitsAreClampedSoNothingDividesByZero) {
  const DialogUnits du(0, -3);
  EXPECT_EQ(du.BaseX(), 1);
  EXPECT_EQ(du.BaseY(), 1);
}

TEST(DialogUnitsTest, DialogFontIsSubstitutedWithNarrowSans) {
  const QFont font = DialogFont();
  EXPECT_EQ(font.pointSize(), 8);
  const DialogUnits du = DialogUnits::ForFont(font);
  // Liberation Sans at 8 points: about 6 x 12 base units (DejaVu Sans, the
  // fallback without the substitution, is 7 wide).
  EXPECT_EQ(QFontInfo(font).family().toStdString(), "Liberation Sans");
  EXPECT_GE(du.BaseX(), 5);
  EXPECT_LE(du.BaseX(), 6);
  EXPECT_GE(du.BaseY(), 11);
  EXPECT_LE(du.BaseY(), 14);
}

}  // namespace
}  // namespace kivo::test
