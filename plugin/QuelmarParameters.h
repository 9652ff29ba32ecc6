#pragma once
// The four parameters as every side sees them: the instance that holds them,
// the editor that shows them, the renderer that sets them from outside and
// the tests. Nothing but the standard library, so any folder may include it.
//
// The two gain parameters step through whole tenths of a decibel, -300 .. 0
// over the normalised range 0 .. 1, in single precision throughout: a host
// that stores a normalised value gets back exactly the tenth it saw.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

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

}  // namespace QuelmarParameters
