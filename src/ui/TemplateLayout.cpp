// Template rectangles in pixels, with room made for the texts of a font
// wider than the template's.
#include "ui/TemplateLayout.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <algorithm>

#include "ui/DialogUnits.h"
#include "ui/TemplateFit.h"

namespace kivo {

namespace {

// The width a text takes when drawn: its advance, or more where a glyph
// reaches past it.
int DrawnWidth(const QFontMetrics& metrics, const QString& text) {
  return std::max(metrics.horizontalAdvance(text), metrics.boundingRect(QRect(), 0, text).width());
}

int TextNeed(const QFontMetrics& metrics, const QWidget* widget) {
  if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                       2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    return metrics.horizontalAdvance(button->text()) + margin;
  }
  const auto* label = qobject_cast<const QLabel*>(widget);
  if (label == nullptr || label->text().isEmpty()) return 0;
  int widest = 0;
  for (const QString& line : label->text().split(QLatin1Char('\n')))
    widest = std::max(widest, DrawnWidth(metrics, line));
  return widest;
}

int WidestWord(const QFontMetrics& metrics, const QWidget* widget) {
  const auto* label = qobject_cast<const QLabel*>(widget);
  if (label == nullptr) return 0;
  int widest = 0;
  for (const QString& word : label->text().split(QRegularExpression(QStringLiteral("\\s+")))) {
    widest = std::max(widest, DrawnWidth(metrics, word));
  }
  return widest;
}

int TextHeight(const QFontMetrics& metrics, const QWidget* widget, int width) {
  const auto* label = qobject_cast<const QLabel*>(widget);
  if (label == nullptr || label->text().isEmpty() || label->pixmap().isNull() == false) return 0;
  const int flags = label->wordWrap() ? Qt::TextWordWrap : 0;
  return metrics.boundingRect(QRect(0, 0, std::max(1, width), 1 << 20), flags, label->text()).height();
}

}  // namespace

QWidget* TemplateLayout::Place(QWidget* widget, int x, int y, int width, int height, bool container) {
  placements_.push_back({widget, QRect(x, y, width, height), container});
  return widget;
}

QLabel* TemplateLayout::AddText(QWidget* parent, const char* text, int x, int y, int width, int height,
                                bool wraps) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  Place(label, x, y, width, height);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(wraps);
  return label;
}

void TemplateLayout::AddRow(std::vector<Column> columns, int right) {
  rows_.push_back({std::move(columns), right});
}

void TemplateLayout::AddColumn(Column column) {
  rows_.back().columns.push_back(std::move(column));
}

std::size_t TemplateLayout::IndexOf(const QWidget* widget) const {
  for (std::size_t i = 0; i < placements_.size(); ++i) {
    if (placements_[i].widget == widget) return i;
  }
  return placements_.size();
}

int TemplateLayout::LayOut(const QFont& font) {
  // The template in pixels of the font, then the room the texts need: a
  // font that is wider than the template's (the substituted font, a higher
  // DPI) must neither cut a text nor let two overlap.
  const QFontMetrics metrics(font);
  const DialogUnits du = DialogUnits::ForFont(font);
  const int gap = du.X(3);
  std::vector<QRect> rects;
  rects.reserve(placements_.size());
  for (const Placement& placement : placements_) {
    const QRect& u = placement.units;
    rects.push_back(du.Rect(u.x(), u.y(), u.width(), u.height()));
  }
  for (const TextRow& row : rows_) {
    std::vector<TemplateFit::Cell> cells;
    for (std::size_t c = 0; c < row.columns.size(); ++c) {
      TemplateFit::Cell cell;
      const QRect& first = rects[IndexOf(row.columns[c].front())];
      cell.x = first.x();
      cell.width = first.width();
      for (const QWidget* widget : row.columns[c]) {
        cell.width = std::max(cell.width, rects[IndexOf(widget)].width());
        cell.need = std::max(cell.need, TextNeed(metrics, widget));
        cell.minimum = std::max(cell.minimum, WidestWord(metrics, widget));
        const auto* label = qobject_cast<const QLabel*>(widget);
        cell.wraps = cell.wraps || (label != nullptr && label->wordWrap());
      }
      if (c + 1 < row.columns.size()) {
        cell.need += gap;
        cell.minimum += gap;
      }
      cells.push_back(cell);
    }
    const std::vector<TemplateFit::Span> spans = TemplateFit::FitRow(cells, du.X(row.right));
    for (std::size_t c = 0; c < row.columns.size(); ++c) {
      for (const QWidget* widget : row.columns[c]) {
        QRect& rect = rects[IndexOf(widget)];
        rect.setX(spans[c].x);
        rect.setWidth(spans[c].width - (c + 1 < row.columns.size() && cells[c].wraps ? gap : 0));
      }
    }
  }
  std::vector<TemplateFit::Item> items;
  for (std::size_t i = 0; i < placements_.size(); ++i) {
    QWidget* widget = placements_[i].widget;
    if (qobject_cast<const QComboBox*>(widget) != nullptr) rects[i].setHeight(widget->sizeHint().height());
    const int height = std::max(rects[i].height(), TextHeight(metrics, widget, rects[i].width()));
    const auto* label = qobject_cast<const QLabel*>(widget);
    const bool empty = label != nullptr && label->text().isEmpty() && label->pixmap().isNull();
    items.push_back({rects[i], height, placements_[i].container, empty});
  }
  const std::vector<QRect> placed = TemplateFit::Flow(items, du.Y(2));
  int grown = 0;
  for (std::size_t i = 0; i < placements_.size(); ++i) {
    placements_[i].widget->setGeometry(placed[i]);
    grown = std::max(grown, placed[i].bottom() - rects[i].bottom());
  }
  return grown;
}

}  // namespace kivo
