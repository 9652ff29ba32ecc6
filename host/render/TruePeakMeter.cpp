#include "host/render/TruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace render {

namespace {

// libebur128's interpolator: a 49-tap Hann-windowed sinc, four times
// oversampled below 96 kHz, twice below 192 kHz, and none above.
constexpr int kTaps = 49;
constexpr double kNegligible = 0.000001;

// The estimate works in single precision, libebur128 in double with the sum
// rounded to single at the end. Their difference stays below 15 roundings of
// the largest sum the window allows; this margin is a hundred times that.
constexpr double kEstimateMargin = 1e-5;
// libebur128 rounds each output once to single precision.
constexpr double kRoundingMargin = 1e-6;

constexpr std::size_t kBlockFrames = 256;

// ThreadSanitizer's runtime is not up yet when the loader runs the resolver
// that picks a clone, so its builds keep the one default version.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define QUELMAR_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define QUELMAR_WIDE_VECTORS
#endif

QUELMAR_WIDE_VECTORS
void accumulate(float* __restrict sums, const float* __restrict source, float coefficient, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) sums[i] += coefficient * source[i];
}

// Compared as bit patterns: for magnitudes (sign bit cleared) the integer
// order is the numeric one, and an integer maximum, unlike a float one the
// compiler must keep NaN-exact, becomes vector code.
QUELMAR_WIDE_VECTORS
float largestMagnitude(const float* values, std::size_t count) {
  std::int32_t largest = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::int32_t bits;
    std::memcpy(&bits, values + i, sizeof bits);
    largest = std::max(largest, bits & 0x7FFFFFFF);
  }
  float magnitude;
  std::memcpy(&magnitude, &largest, sizeof magnitude);
  return magnitude;
}

}  // namespace

TruePeakMeter::TruePeakMeter(int channels, int sampleRate) : channels_(static_cast<std::size_t>(channels)) {
  const int factor = sampleRate < 96000 ? 4 : sampleRate < 192000 ? 2 : 0;
  if (factor == 0) return;
  state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                        EBUR128_MODE_TRUE_PEAK);
  if (state_ == nullptr) throw std::bad_alloc();

  phases_.resize(static_cast<std::size_t>(factor));
  history_ = static_cast<std::size_t>((kTaps + factor - 1) / factor);
  for (int j = 0; j < kTaps; ++j) {
    const double m = static_cast<double>(j) - (kTaps - 1) / 2.0;
    double c = 1.0;
    if (std::fabs(m) > kNegligible) c = std::sin(m * M_PI / factor) / (m * M_PI / factor);
    c *= 0.5 * (1.0 - std::cos(2.0 * M_PI * j / (kTaps - 1)));
    if (std::fabs(c) > kNegligible) {
      phases_[static_cast<std::size_t>(j % factor)].push_back(
          Tap{static_cast<std::size_t>(j / factor), static_cast<float>(c)});
    }
  }
  for (const std::vector<Tap>& phase : phases_) {
    double sum = 0.0;
    for (const Tap& tap : phase) sum += std::fabs(static_cast<double>(tap.coefficient));
    gain_ = std::max(gain_, sum);
  }
  // The float coefficients may differ from libebur128's doubles in the last place.
  gain_ *= 1.0 + kRoundingMargin;

  recent_.assign((history_ - 1) * channels_, 0.0f);
  channel_.resize(history_ - 1 + kBlockFrames);
  sums_.resize(kBlockFrames);
}

TruePeakMeter::~TruePeakMeter() {
  if (state_ != nullptr) ebur128_destroy(&state_);
}

void TruePeakMeter::add(const float* interleaved, std::size_t frames) {
  if (state_ == nullptr) {
    // No oversampling at this rate: the curve shows the samples.
    if (keepStepPeaks_) stepPeak_ = std::max<double>(stepPeak_, largestMagnitude(interleaved, frames * channels_));
    return;
  }
  while (frames > 0) {
    const std::size_t take = std::min(frames, kBlockFrames);
    addBlock(interleaved, take);
    interleaved += take * channels_;
    frames -= take;
  }
}

void TruePeakMeter::addBlock(const float* block, std::size_t frames) {
  // An output of the interpolator depends on the current input frame and the
  // history_ - 1 before it, so this block's outputs are bounded by the
  // gain times the largest magnitude among those.
  const std::size_t samples = frames * channels_;
  const double windowPeak =
      std::max(largestMagnitude(recent_.data(), recent_.size()), largestMagnitude(block, samples));
  bool mayHoldPeak = windowPeak * gain_ * (1.0 + kRoundingMargin) > peak_;
  double estimated = -1.0;
  if (keepStepPeaks_) {
    estimated = estimate(block, frames);
    stepPeak_ = std::max({stepPeak_, estimated, static_cast<double>(largestMagnitude(block, samples))});
  }
  if (mayHoldPeak) {
    if (estimated < 0.0) estimated = estimate(block, frames);
    mayHoldPeak = estimated + windowPeak * gain_ * kEstimateMargin >= peak_;
  }
  if (mayHoldPeak) {
    const std::size_t lead = history_ - 1;
    // libebur128 keeps the last frames it saw: give it the real ones that
    // precede this block unless it has just seen them. Their outputs are
    // made from stale frames and are not counted.
    if (fedUpTo_ != position_ && ebur128_add_frames_float(state_, recent_.data(), lead) != EBUR128_SUCCESS) {
      throw std::bad_alloc();
    }
    if (ebur128_add_frames_float(state_, block, frames) != EBUR128_SUCCESS) throw std::bad_alloc();
    for (std::size_t c = 0; c < channels_; ++c) {
      double value = 0.0;
      if (ebur128_prev_true_peak(state_, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS) {
        peak_ = std::max(peak_, value);
      }
    }
    fedUpTo_ = position_ + frames;
    interpolated_ += frames;
  }

  // Keep the last history_ - 1 frames of what came before and this block.
  const std::size_t keep = recent_.size();
  if (samples >= keep) {
    std::copy_n(block + samples - keep, keep, recent_.data());
  } else {
    std::copy(recent_.begin() + static_cast<std::ptrdiff_t>(samples), recent_.end(), recent_.begin());
    std::copy_n(block, samples, recent_.data() + keep - samples);
  }
  position_ += frames;
}

// The interpolator's outputs for this block, in single precision: close
// enough to rule a block out, never to be reported.
double TruePeakMeter::estimate(const float* block, std::size_t frames) {
  const std::size_t lead = history_ - 1;
  float largest = 0.0f;
  for (std::size_t c = 0; c < channels_; ++c) {
    for (std::size_t i = 0; i < lead; ++i) channel_[i] = recent_[i * channels_ + c];
    for (std::size_t i = 0; i < frames; ++i) channel_[lead + i] = block[i * channels_ + c];
    for (const std::vector<Tap>& phase : phases_) {
      std::fill_n(sums_.data(), frames, 0.0f);
      for (const Tap& tap : phase) accumulate(sums_.data(), channel_.data() + lead - tap.delay, tap.coefficient, frames);
      largest = std::max(largest, largestMagnitude(sums_.data(), frames));
    }
  }
  return largest;
}

}  // namespace render
