#pragma once
// The ports of quelmar.lv2, shared by the plug-in and its UI; the bundle's
// quelmar.ttl describes them in the same order.

#include <cstdint>

#include "plugin/QuelmarParameters.h"

namespace Lv2Ports {

enum Index : std::uint32_t {
  kInLeft = 0,
  kInRight,
  kOutLeft,
  kOutRight,
  // The four parameters, in the instance's order, in their plain units.
  kThreshold,
  kOutput,
  kFaderLink,
  kIspDetection,
  kLatency,  // samples, an output
  kInputPeakLeft,  // dBFS, outputs for a host's generic display
  kInputPeakRight,
  kGainReduction,  // dB
  kCount
};

inline constexpr std::uint32_t kFirstParameter = kThreshold;

inline constexpr bool isParameter(std::uint32_t port) {
  return port >= kFirstParameter && port < kFirstParameter + QuelmarParameters::kParameterCount;
}

inline constexpr std::int32_t parameterOf(std::uint32_t port) { return std::int32_t(port - kFirstParameter); }

}  // namespace Lv2Ports
