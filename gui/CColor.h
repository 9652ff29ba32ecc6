#pragma once

#include <cstdint>

namespace VSTGUI {

struct CColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t alpha = 255;

  // Red in the lowest byte, alpha in the highest: the packing the editor's
  // colour constants are written in.
  constexpr std::uint32_t pack() const {
    return std::uint32_t(red) | std::uint32_t(green) << 8 | std::uint32_t(blue) << 16 |
           std::uint32_t(alpha) << 24;
  }
  static constexpr CColor fromPacked(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
  }
  // The graphics layer's form: alpha, red, green, blue from the top byte down.
  constexpr std::uint32_t toARGB() const {
    return std::uint32_t(alpha) << 24 | std::uint32_t(red) << 16 | std::uint32_t(green) << 8 |
           std::uint32_t(blue);
  }
  constexpr bool operator==(const CColor&) const = default;
};

inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kTransparentCColor{255, 255, 255, 0};

}  // namespace VSTGUI
