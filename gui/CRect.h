#pragma once

#include <algorithm>

#include "CPoint.h"

namespace VSTGUI {

// Right and bottom are exclusive for sizes and drawing, but the hit and overlap
// tests include them: a click on the last column of a view still belongs to it.
struct CRect {
  CCoord left = 0;
  CCoord top = 0;
  CCoord right = 0;
  CCoord bottom = 0;

  constexpr CRect() = default;
  constexpr CRect(CCoord l, CCoord t, CCoord r, CCoord b) : left(l), top(t), right(r), bottom(b) {}

  constexpr CCoord width() const { return right - left; }
  constexpr CCoord height() const { return bottom - top; }
  constexpr CPoint topLeft() const { return {left, top}; }

  constexpr bool pointInside(const CPoint& p) const {
    return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom;
  }
  constexpr bool rectOverlap(const CRect& o) const {
    return o.right >= left && right >= o.left && o.bottom >= top && bottom >= o.top;
  }
  // Intersection that never yields negative extents: an empty result keeps
  // right == left or bottom == top, so later width and height stay >= 0.
  CRect& bound(const CRect& o) {
    left = std::max(left, o.left);
    top = std::max(top, o.top);
    right = std::max(left, std::min(right, o.right));
    bottom = std::max(top, std::min(bottom, o.bottom));
    return *this;
  }
  CRect& offset(CCoord dx, CCoord dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
    return *this;
  }
  CRect& offset(const CPoint& p) { return offset(p.x, p.y); }
  CRect& moveTo(CCoord x, CCoord y) { return offset(x - left, y - top); }
  CRect& normalize() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    return *this;
  }
  constexpr bool operator==(const CRect&) const = default;
};

}  // namespace VSTGUI
