#pragma once
// The four parameters as every side sees them: the instance that holds them,
// the editor that shows them, the renderer that sets them from outside and
// the tests. Nothing but the standard library, so any folder may include it.
//
// The two gain parameters step through whole tenths of a decibel, -300 .. 0
// over the normalised range 0 .. 1, in single precision throughout: a host
// that stores a normalised value gets back exactly the tenth it saw.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace QuelmarParameters {

enum Index : std::int32_t { kThreshold = 0, kOutput = 1, kFaderLink = 2, kIspDetection = 3, kParameterCount = 4 };

// "ISP Detection" is longer than the interface's suggested 8 characters;
// hosts cope, and the name is what users know.
inline constexpr const char* kNames[kParameterCount] = {"Thresh", "Output", "Fader Link", "ISP Detection"};
inline constexpr const char* kLabels[kParameterCount] = {"dB", "dB", "", ""};

inline constexpr bool isParameter(std::int32_t index) { return index >= 0 && index < kParameterCount; }

// Whole tenths of a decibel for a normalised gain value; halves round away
// from zero, and a value just below 1.0 gives negative zero.
inline float tenthsOf(float normalised) { return std::roundf(normalised * 300.0f - 300.0f); }

// The decibels the engine is set to for a number of tenths.
inline float decibelsOf(float tenths) { return tenths * 0.1f; }

// The tenths as hosts and the read-outs show them: "%.1f" of the decibels,
// the sign of a negative zero kept.
inline int formatTenths(float tenths, char* text, std::size_t size) {
  return std::snprintf(text, size, "%.1f", static_cast<double>(decibelsOf(tenths)));
}

// A normalised value that lands on exactly the given tenth (-300 .. 0). The
// nearest float to (tenths + 300) / 300 nearly always does; its neighbours
// are tried for the rare one that does not.
inline float normalisedForTenths(int tenths) {
  const float nearest = static_cast<float>(tenths + 300) / 300.0f;
  const float wanted = static_cast<float>(tenths);
  float below = nearest;
  float above = nearest;
  for (int step = 0; step < 64; ++step) {
    if (tenthsOf(above) == wanted && above <= 1.0f) return above;
    if (tenthsOf(below) == wanted && below >= 0.0f) return below;
    above = std::nextafter(above, 2.0f);
    below = std::nextafter(below, -1.0f);
  }
  return nearest;
}

// The switches are on only strictly above one half.
inline bool switchIsOn(float normalised) { return normalised > 0.5f; }

// What a switch shows, off and on.
inline constexpr const char* kSwitchTexts[2] = {"OFF", "ON"};

// ---------------------------------------------------------------- plain values
//
// Formats whose hosts show units carry values as they read: the gains in
// decibels, the switches as 0 or 1. The instance stays the one that decides:
// a gain lands on the tenth it rounds to, a switch on its state.

inline constexpr bool isSwitch(std::int32_t index) { return index == kFaderLink || index == kIspDetection; }

inline constexpr double kPlainMinimum[kParameterCount] = {-30.0, -30.0, 0.0, 0.0};
inline constexpr double kPlainMaximum[kParameterCount] = {0.0, 0.0, 1.0, 1.0};
inline constexpr double kPlainDefault[kParameterCount] = {0.0, 0.0, 0.0, 0.0};

// The plain value the instance applies for its normalised value: a gain's
// tenth in decibels (exactly -8.0 for -80 tenths, not -8.0000001), a switch's state.
inline double plainOf(std::int32_t index, float normalised) {
  if (isSwitch(index)) return switchIsOn(normalised) ? 1.0 : 0.0;
  return static_cast<double>(tenthsOf(normalised)) / 10.0;
}

// The normalised value to set for a plain one, within the plain range. A gain
// on a whole tenth gets the normalised value a host of the normalised form
// would set for that tenth, so both forms drive the instance identically; a
// gain between tenths is placed linearly and the instance rounds it. NaN for a
// value that is not finite, which the instance ignores.
inline float normalisedOf(std::int32_t index, double plain) {
  if (!std::isfinite(plain)) return std::numeric_limits<float>::quiet_NaN();
  if (isSwitch(index)) return plain > 0.5 ? 1.0f : 0.0f;
  plain = std::clamp(plain, -30.0, 0.0);
  const double tenths = plain * 10.0;
  const double whole = std::round(tenths);
  if (std::fabs(tenths - whole) < 1e-6) return normalisedForTenths(static_cast<int>(whole));
  return static_cast<float>((plain + 30.0) / 30.0);
}

// The text the instance would show for a plain value, with its label for the
// gains ("-8.0 dB", "ON").
inline void formatPlain(std::int32_t index, double plain, char* text, std::size_t size) {
  if (size == 0) return;
  if (isSwitch(index)) {
    std::snprintf(text, size, "%s", kSwitchTexts[plain > 0.5 ? 1 : 0]);
    return;
  }
  char number[32];
  formatTenths(tenthsOf(normalisedOf(index, plain)), number, sizeof number);
  std::snprintf(text, size, "%s %s", number, kLabels[index]);
}

// Reads what formatPlain writes, and what a user would type instead: a number
// with or without "dB" (held to the range), "ON" / "OFF" or a number for the
// switches. False for anything else.
inline bool parsePlain(std::int32_t index, const char* text, double& plain) {
  if (text == nullptr || !isParameter(index)) return false;
  while (*text == ' ' || *text == '\t') ++text;
  auto rest = [](const char* p, const char* word) {
    while (*p == ' ' || *p == '\t') ++p;
    for (; *word; ++p, ++word)
      if (std::tolower(static_cast<unsigned char>(*p)) != std::tolower(static_cast<unsigned char>(*word))) return false;
    while (*p == ' ' || *p == '\t') ++p;
    return *p == 0;
  };
  if (isSwitch(index)) {
    if (rest(text, kSwitchTexts[1])) {
      plain = 1.0;
      return true;
    }
    if (rest(text, kSwitchTexts[0])) {
      plain = 0.0;
      return true;
    }
  }
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || !std::isfinite(value)) return false;
  if (!rest(end, "") && !(index < kFaderLink && rest(end, kLabels[index]))) return false;
  plain = isSwitch(index) ? (value > 0.5 ? 1.0 : 0.0) : std::clamp(value, -30.0, 0.0);
  return true;
}

}  // namespace QuelmarParameters
