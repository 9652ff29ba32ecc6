#pragma once
// Deterministic stereo test material for the limiter tests.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testsignals {

struct Stereo {
  std::vector<float> left, right;
  explicit Stereo(std::size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
  std::size_t frames() const { return left.size(); }
};

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  float uniform() { return static_cast<float>(next() >> 40) / 16777216.0f; }  // [0, 1)
  float bipolar() { return uniform() * 2.0f - 1.0f; }
  int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1)); }

 private:
  std::uint64_t state_;
};

inline float dbToGain(double dB) { return static_cast<float>(std::pow(10.0, dB / 20.0)); }

inline Stereo sine(std::size_t frames, double rate, double hz, float amplitude, double phase = 0.0) {
  Stereo s(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const float v = amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate + phase));
    s.left[i] = v;
    s.right[i] = v;
  }
  return s;
}

// Program-like material: bursts of noise and tones at changing levels,
// silences and transients, so every tracker and gate of the limiter moves.
inline Stereo program(std::size_t frames, std::uint64_t seed, float peak = 1.0f) {
  Random rng(seed);
  Stereo s(frames);
  std::size_t i = 0;
  while (i < frames) {
    const std::size_t length = static_cast<std::size_t>(rng.range(1, 6000));
    const int kind = rng.range(0, 6);
    const float level = peak * dbToGain(-40.0 * rng.uniform());
    const double hz = 30.0 + 8000.0 * rng.uniform() * rng.uniform();
    for (std::size_t k = 0; k < length && i < frames; ++k, ++i) {
      float l = 0.0f, r = 0.0f;
      switch (kind) {
        case 0: break;  // silence
        case 1: l = level * rng.bipolar(); r = level * rng.bipolar(); break;
        case 2: l = r = level * static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(k) / 44100.0)); break;
        case 3: l = level * rng.bipolar(); r = 0.3f * l; break;
        case 4: if (k % 997 == 0) l = r = (rng.uniform() < 0.5f ? -peak : peak); break;  // clicks
        case 5: l = level * rng.bipolar() * static_cast<float>(std::exp(-static_cast<double>(k) / 800.0)); r = -l; break;
        default: l = level * 0.5f; r = -level * 0.5f; break;  // DC
      }
      s.left[i] = l;
      s.right[i] = r;
    }
  }
  return s;
}

inline std::uint32_t bits(float v) {
  std::uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// The first frame at which two renders differ in any bit of either channel;
// their length when they agree throughout.
inline std::size_t firstDifferentFrame(const Stereo& a, const Stereo& b) {
  if (a.frames() != b.frames()) return 0;
  for (std::size_t i = 0; i < a.frames(); ++i) {
    if (bits(a.left[i]) != bits(b.left[i]) || bits(a.right[i]) != bits(b.right[i])) return i;
  }
  return a.frames();
}

}  // namespace testsignals
