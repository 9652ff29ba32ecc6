#pragma once
// Rounding to an integer sample format with TPDF dither: the difference of
// two uniform random values of one step each is added before rounding, which
// turns the rounding error into a steady, signal-independent hiss instead of
// distortion that follows the music. The noise comes from a generator of our
// own with fixed seeds, so the same input and settings give the same file.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace render {

class Dither {
 public:
  Dither(int channels, int bits);

  // Rounds the interleaved samples in place to the format's grid (what a
  // reader of the file will see) and leaves the integers, scaled to 32 bits
  // as libsndfile takes them, in `packed`. Samples already on the grid
  // (digital silence, integer material through a transparent effect) carry no
  // rounding error to hide and are kept as they are.
  void apply(float* interleaved, std::size_t frames, std::int32_t* packed);

 private:
  double nextTriangular(std::size_t channel);

  std::size_t channels_;
  double scale_;  // steps per unit of full scale
  double lowest_;
  double highest_;
  int shift_;
  std::vector<std::uint64_t> state_;  // one generator per channel: their noises are independent
};

}  // namespace render
