#pragma once
// Quelmar's gain parameters step through whole tenths of a decibel:
// tenths = roundf(v * 300 - 300), in single precision. These find, for a
// tenth, a normalised value that lands on exactly that tenth.

#include <cmath>

namespace render {

inline int tenthsOf(float normalised) {
  const float scaled = normalised * 300.0f;
  return static_cast<int>(std::roundf(scaled - 300.0f));
}

// Exact for -300..0; the nearest float to (tenths + 300) / 300 nearly always
// lands, and its neighbours are tried for the rare one that does not.
inline float normalisedForTenths(int tenths) {
  const float nearest = static_cast<float>(tenths + 300) / 300.0f;
  float below = nearest;
  float above = nearest;
  for (int step = 0; step < 64; ++step) {
    if (tenthsOf(above) == tenths && above <= 1.0f) return above;
    if (tenthsOf(below) == tenths && below >= 0.0f) return below;
    above = std::nextafter(above, 2.0f);
    below = std::nextafter(below, -1.0f);
  }
  return nearest;
}

}  // namespace render
