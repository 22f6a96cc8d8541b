// Row fitting and downward flow of grown controls.
#include "ui/TemplateFit.h"

#include <algorithm>
#include <numeric>

namespace kivo {

namespace {

int Least(const TemplateFit::Cell& cell) {
  return std::min(cell.minimum, cell.need);
}

}  // namespace

std::vector<TemplateFit::Span> TemplateFit::FitRow(const std::vector<Cell>& cells, int right) {
  std::vector<Span> spans(cells.size());
  if (cells.empty()) return spans;
  const int start = cells.front().x;
  // Every cell at least at its template place and as wide as it needs.
  int end = start;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    spans[i].x = std::max(cells[i].x, end);
    spans[i].width = std::max(cells[i].width, cells[i].need);
    end = spans[i].x + spans[i].width;
  }
  if (end <= right) return spans;
  // Too wide: from the right, cells give up the room they do not need and
  // move left into the room their neighbours gave up.
  int limit = right;
  for (std::size_t i = cells.size(); i-- > 0;) {
    spans[i].width = std::max(cells[i].need, std::min(spans[i].width, limit - spans[i].x));
    spans[i].x = std::min(spans[i].x, limit - spans[i].width);
    limit = spans[i].x;
  }
  if (limit >= start) return spans;
  // Still too wide: wrapping cells wrap, each keeping its widest word. The
  // room left is shared out level by level, so the cells that need little
  // more stay on one line and the widest texts wrap.
  int fixed = 0;
  std::vector<std::size_t> wrapping;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    fixed += cells[i].wraps ? Least(cells[i]) : cells[i].need;
    if (cells[i].wraps) wrapping.push_back(i);
  }
  std::sort(wrapping.begin(), wrapping.end(), [&](std::size_t a, std::size_t b) {
    return cells[a].need - Least(cells[a]) < cells[b].need - Least(cells[b]);
  });
  std::vector<int> extra(cells.size(), 0);
  int room = std::max(0, right - start - fixed);
  for (std::size_t k = 0; k < wrapping.size(); ++k) {
    const std::size_t i = wrapping[k];
    const int share = room / static_cast<int>(wrapping.size() - k);
    extra[i] = std::min(cells[i].need - Least(cells[i]), share);
    room -= extra[i];
  }
  int x = start;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const int width = cells[i].wraps ? std::max(1, Least(cells[i]) + extra[i]) : cells[i].need;
    spans[i] = {x, width};
    x += width;
  }
  return spans;
}

std::vector<QRect> TemplateFit::Flow(const std::vector<Item>& items, int gap) {
  std::vector<std::size_t> order(items.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return items[a].rect.top() < items[b].rect.top(); });
  std::vector<QRect> placed(items.size());
  std::vector<bool> done(items.size(), false);
  auto growContainer = [&](std::size_t c) {
    const QRect& frame = items[c].rect;
    int grow = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i == c || !done[i] || !frame.contains(items[i].rect)) continue;
      grow = std::max(grow, placed[i].bottom() - items[i].rect.bottom());
    }
    placed[c] = frame.adjusted(0, 0, 0, grow);
    done[c] = true;
  };
  for (const std::size_t w : order) {
    const Item& item = items[w];
    if (item.container) continue;
    const QRect& own = item.rect;
    if (item.empty) {
      placed[w] = own;
      done[w] = true;
      continue;
    }
    int shift = 0;
    int top = own.top();
    for (std::size_t p = 0; p < items.size(); ++p) {
      const QRect& other = items[p].rect;
      if (p == w || other.top() >= own.top() || items[p].empty) continue;
      if (items[p].container) {
        if (other.bottom() >= own.top()) continue;  // inside it, or beside it
        if (!done[p]) growContainer(p);
      } else if (!done[p]) {
        continue;
      }
      // Whatever lies wholly above moved or grew: this control follows.
      if (other.bottom() < own.top()) shift = std::max(shift, placed[p].bottom() - other.bottom());
      const bool below = other.left() <= own.right() && own.left() <= other.right();
      if (below || items[p].container) {
        const int keep = std::min(gap, std::max(0, own.top() - other.bottom() - 1));
        top = std::max(top, placed[p].bottom() + 1 + keep);
      }
    }
    placed[w] = QRect(own.left(), std::max(own.top() + shift, top), own.width(), std::max(1, item.height));
    done[w] = true;
  }
  for (std::size_t c = 0; c < items.size(); ++c) {
    if (items[c].container && !done[c]) growContainer(c);
  }
  return placed;
}

}  // namespace kivo
