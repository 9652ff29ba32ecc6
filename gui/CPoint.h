#pragma once

#include <cstdint>

namespace VSTGUI {

using CCoord = std::int32_t;

struct CPoint {
  CCoord x = 0;
  CCoord y = 0;

  constexpr CPoint() = default;
  constexpr CPoint(CCoord x_, CCoord y_) : x(x_), y(y_) {}

  CPoint& offset(CCoord dx, CCoord dy) {
    x += dx;
    y += dy;
    return *this;
  }
  constexpr bool operator==(const CPoint&) const = default;
};

}  // namespace VSTGUI
