#pragma once
// The true peak of a stream as libebur128 measures it, at a fraction of the
// cost: libebur128's interpolator runs only over the stretches of audio that
// could hold the peak. Every other stretch is ruled out by a bound on what
// the interpolator can make of it, so the figure is exactly the one a full
// libebur128 pass gives.

#include <ebur128.h>

#include <cstddef>
#include <utility>
#include <vector>

namespace render {

class TruePeakMeter {
 public:
  TruePeakMeter(int channels, int sampleRate);
  ~TruePeakMeter();
  TruePeakMeter(const TruePeakMeter&) = delete;
  TruePeakMeter& operator=(const TruePeakMeter&) = delete;

  // Throws std::bad_alloc when libebur128 runs out of memory.
  void add(const float* interleaved, std::size_t frames);
  // The largest interpolated value of any channel, linear; 0 for silence and
  // at rates where libebur128 does not oversample (192 kHz and up). Like
  // libebur128's true peak, report it never below the sample peak.
  double peak() const { return peak_; }
  // Frames libebur128's interpolator was given, for the benchmark's curiosity.
  std::size_t framesInterpolated() const { return interpolated_; }

  // For a curve over time: also keeps the largest value since the last
  // takeStepPeak(), linear. Every block is then estimated, and the estimate,
  // never below the samples, is close enough to draw but not to report.
  void keepStepPeaks() { keepStepPeaks_ = true; }
  double takeStepPeak() { return std::exchange(stepPeak_, 0.0); }

 private:
  void addBlock(const float* interleaved, std::size_t frames);
  double estimate(const float* block, std::size_t frames);

  ebur128_state* state_ = nullptr;
  std::size_t channels_;
  // The interpolator libebur128 uses, rebuilt here for the screening: one
  // list of taps per output phase, each tap a delay (in input frames) and a
  // coefficient.
  struct Tap {
    std::size_t delay;
    float coefficient;
  };
  std::vector<std::vector<Tap>> phases_;
  std::size_t history_ = 0;  // input frames an output depends on, the current one included
  double gain_ = 0.0;        // the largest sum of |coefficients| of any phase
  std::vector<float> recent_;   // the last history_ - 1 frames, interleaved; zeros before the start
  std::vector<float> channel_;  // one channel of recent_ and the block, for the estimate
  std::vector<float> sums_;
  std::size_t fedUpTo_ = 0;  // stream position up to which libebur128 has seen the audio
  std::size_t position_ = 0;
  double peak_ = 0.0;
  std::size_t interpolated_ = 0;
  bool keepStepPeaks_ = false;
  double stepPeak_ = 0.0;
};

}  // namespace render
