#include "host/render/Dither.h"

#include <cmath>

namespace render {

namespace {

// splitmix64 seeds, xorshift64* steps: fast, and the same on every machine.
std::uint64_t seedFor(std::size_t channel) {
  std::uint64_t z = 0x51ED27A3C0FFEE00ull + 0x9E3779B97F4A7C15ull * (channel + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return (z ^ (z >> 31)) | 1u;
}

double uniform(std::uint64_t& state) {
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  return static_cast<double>((state * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;  // [0, 1)
}

}  // namespace

Dither::Dither(int channels, int bits)
    : channels_(static_cast<std::size_t>(channels)), scale_(std::ldexp(1.0, bits - 1)), lowest_(-scale_),
      highest_(scale_ - 1.0), shift_(32 - bits) {
  for (std::size_t c = 0; c < channels_; ++c) state_.push_back(seedFor(c));
}

double Dither::nextTriangular(std::size_t channel) {
  std::uint64_t& state = state_[channel];
  const double first = uniform(state);
  return first - uniform(state);  // -1 to 1 step, peaking at 0
}

void Dither::apply(float* interleaved, std::size_t frames, std::int32_t* packed) {
  for (std::size_t frame = 0; frame < frames; ++frame) {
    for (std::size_t c = 0; c < channels_; ++c) {
      const std::size_t at = frame * channels_ + c;
      const double exact = static_cast<double>(interleaved[at]) * scale_;
      // Drawn for every sample, so the noise sequence does not depend on
      // which samples needed it.
      const double noise = nextTriangular(c);
      double step = std::nearbyint(exact);
      if (step != exact) step = std::nearbyint(exact + noise);
      // Libsndfile clips the same way for undithered output: at full scale.
      if (step < lowest_) step = lowest_;
      if (step > highest_) step = highest_;
      const std::int32_t value = static_cast<std::int32_t>(step);
      packed[at] = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << shift_);
      interleaved[at] = static_cast<float>(step / scale_);
    }
  }
}

}  // namespace render
