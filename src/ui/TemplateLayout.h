// TemplateLayout: places the controls of a dialog template, given in dialog
// units, in the pixels of a font, and makes room for texts that need more
// than the template gives them (TemplateFit does the fitting). Any window of
// the Qt shell may use it; it knows only widgets and their texts.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

class QFont;
class QLabel;
class QWidget;

namespace kivo {

class TemplateLayout {
 public:
  // A control at its template rectangle (dialog units). A container (a group
  // box) grows with what it holds. A combo box takes the height of its own
  // edit field: the template's height is that of its drop-down.
  QWidget* Place(QWidget* widget, int x, int y, int width, int height, bool container = false);
  // A static text at its template rectangle, top-left aligned; a wrapping
  // one takes a second line where its row cannot give it the room.
  QLabel* AddText(QWidget* parent, const char* text, int x, int y, int width, int height, bool wraps = false);

  // A row of the template whose cells share a line: each column stacks the
  // controls of rows that share it; right is the row's limit in units.
  using Column = std::vector<QWidget*>;
  void AddRow(std::vector<Column> columns, int right);
  // Adds a column to the last row.
  void AddColumn(Column column);

  // Lays every control out in the font and returns how far the layout grew
  // downwards, in pixels, beyond the template.
  int LayOut(const QFont& font);

 private:
  struct Placement {
    QWidget* widget;
    QRect units;  // the template's rectangle
    bool container;
  };
  struct TextRow {
    std::vector<Column> columns;
    int right;
  };
  std::size_t IndexOf(const QWidget* widget) const;

  std::vector<Placement> placements_;
  std::vector<TextRow> rows_;
};

}  // namespace kivo
