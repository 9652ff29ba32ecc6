#pragma once

#include <cstdint>

namespace VSTGUI {

// The host's key record, field for field (character, virtual key, modifier
// bits), so the editor bridge can hand it over unchanged.
struct CKeyCode {
  std::int32_t character = 0;
  std::uint8_t virt = 0;
  std::uint8_t modifier = 0;
};

// The virtual key and modifier values the framework itself interprets.
inline constexpr std::uint8_t kVirtualKeyTab = 2;
inline constexpr std::uint8_t kVirtualKeyLeft = 11;
inline constexpr std::uint8_t kVirtualKeyUp = 12;
inline constexpr std::uint8_t kVirtualKeyRight = 13;
inline constexpr std::uint8_t kVirtualKeyDown = 14;
inline constexpr std::uint8_t kModifierShift = 1 << 0;

}  // namespace VSTGUI
