// The template layout on its own: texts wider than their template cells move
// their neighbours right, and a wrapped text pushes what lies below it down.
#include "ui/TemplateLayout.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

#include "ui/DialogUnits.h"

namespace kivo::test {
namespace {

TEST(TemplateLayoutTest, AWideLabelMovesItsValueRight) {
  QWidget parent;
  parent.setFont(DialogFont());
  TemplateLayout layout;
  QLabel* label = layout.AddText(&parent, "A label far wider than its cell:", 0, 0, 10, 8);
  QLabel* value = layout.AddText(&parent, "value", 12, 0, 40, 8);
  layout.AddRow({{label}, {value}}, 300);
  layout.LayOut(parent.font());
  const int need = QFontMetrics(parent.font()).horizontalAdvance(label->text());
  EXPECT_GE(label->width(), need);
  EXPECT_GE(value->x(), label->x() + need);
}

TEST(TemplateLayoutTest, AWrappedValueGrowsAndPushesTheControlBelowDown) {
  QWidget parent;
  parent.setFont(DialogFont());
  TemplateLayout layout;
  QLabel* value = layout.AddText(&parent, "one two three four five six seven eight", 0, 0, 30, 8, true);
  layout.AddRow({{value}}, 30);
  QLabel* below = layout.AddText(&parent, "below", 0, 10, 30, 8);
  const int grown = layout.LayOut(parent.font());
  EXPECT_GT(value->height(), DialogUnits::ForFont(parent.font()).Y(8));
  EXPECT_GT(grown, 0);
  EXPECT_GE(below->y(), value->y() + value->height());
}

}  // namespace
}  // namespace kivo::test
