// TemplateFit: makes room for texts that need more than a dialog template
// gives them, keeping the template's arrangement. Cells of a row move right
// and take the spare room of their neighbours; texts that still do not fit
// wrap, and what lies below a grown control moves down. Plain logic on
// pixel rectangles; the main window feeds it its controls.
#pragma once

#include <QRect>
#include <vector>

namespace kivo {

class TemplateFit {
 public:
  // One cell of a row: its template span and the width its text needs on
  // one line. A wrapping cell may be given less, down to `minimum` (its
  // widest word), and its text then wraps; the others always get their need.
  struct Cell {
    int x = 0;
    int width = 0;
    int need = 0;
    bool wraps = false;
    int minimum = 0;
  };
  struct Span {
    int x = 0;
    int width = 0;
  };
  // The cells (left to right, not overlapping) placed between the first
  // cell's template x and `right`. Cells keep at least their template spans
  // where there is room.
  static std::vector<Span> FitRow(const std::vector<Cell>& cells, int right);

  // One control for the vertical pass: its rectangle after the row fitting
  // and the height its content needs. A container (a group box) is not
  // moved; it grows with what it holds.
  struct Item {
    QRect rect;
    int height = 0;
    bool container = false;
    bool empty = false;  // shows nothing: stays, and pushes nothing
  };
  // The rectangles after growing: a control keeps its place unless a grown
  // control above it (overlapping it horizontally) reaches down to it, or a
  // control above it moved; then it moves down and keeps at most `gap`
  // pixels to what pushed it. Containers grow so that everything inside
  // keeps its distance to their bottom edge.
  static std::vector<QRect> Flow(const std::vector<Item>& items, int gap);
};

}  // namespace kivo
