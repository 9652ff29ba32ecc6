#include "host/render/Loudness.h"

#include "host/render/Errors.h"

#include <ebur128.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <numeric>
#include <utility>

namespace render {

namespace {

double toDecibels(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : kSilence; }

// BS.1770: loudness is -0.691 + 10 log10 of the weighted mean square.
constexpr double kLoudnessOffset = 0.691;

// Windows quieter than this say nothing reliable about the gain: dither,
// reverb tails and fade-outs would only add noise to the ratio.
constexpr float kWindowFloor = 0.001f;  // -60 dBFS

constexpr std::size_t kChunkFrames = 16384;
constexpr std::size_t kQueuedChunks = 8;

}  // namespace

LoudnessMeter::LoudnessMeter(int channels, int sampleRate, Scope scope)
    : scope_(scope), channels_(channels), sampleRate_(sampleRate),
      chunkSamples_(kChunkFrames * static_cast<std::size_t>(channels)) {
  const int mode =
      scope == Scope::Full ? EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_SAMPLE_PEAK : EBUR128_MODE_I;
  state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), mode);
  if (state_ == nullptr) throw std::bad_alloc();
  if (channels == 1) ebur128_set_channel(state_, 0, EBUR128_DUAL_MONO);
  if (scope == Scope::Full) {
    try {
      truePeak_ = std::make_unique<TruePeakMeter>(channels, sampleRate);
    } catch (...) {
      ebur128_destroy(&state_);
      throw;
    }
  }
  filling_.reserve(chunkSamples_);
  worker_ = std::thread([this] { work(); });
}

LoudnessMeter::~LoudnessMeter() {
  stop();
  ebur128_destroy(&state_);
}

void LoudnessMeter::add(const float* interleaved, std::size_t frames) {
  std::size_t samples = frames * static_cast<std::size_t>(channels_);
  while (samples > 0) {
    const std::size_t take = std::min(samples, chunkSamples_ - filling_.size());
    filling_.insert(filling_.end(), interleaved, interleaved + take);
    interleaved += take;
    samples -= take;
    if (filling_.size() == chunkSamples_) {
      std::vector<float> next;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!spare_.empty()) {
          next = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      next.clear();
      next.reserve(chunkSamples_);
      hand(std::exchange(filling_, std::move(next)));
    }
  }
}

void LoudnessMeter::hand(std::vector<float> chunk) {
  std::unique_lock<std::mutex> lock(mutex_);
  // A bounded queue: a render faster than its measurement waits for it
  // rather than piling up the whole file in memory.
  changed_.wait(lock, [this] { return queue_.size() < kQueuedChunks || failed_; });
  if (failed_) throw std::bad_alloc();
  queue_.push_back(std::move(chunk));
  changed_.notify_all();
}

void LoudnessMeter::work() {
  for (;;) {
    std::vector<float> chunk;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
      if (queue_.empty()) return;
      chunk = std::move(queue_.front());
      queue_.pop_front();
      changed_.notify_all();
    }
    const bool measured = measure(chunk.data(), chunk.size() / static_cast<std::size_t>(channels_));
    std::lock_guard<std::mutex> lock(mutex_);
    if (!measured) {
      failed_ = true;
      queue_.clear();
      changed_.notify_all();
      return;
    }
    spare_.push_back(std::move(chunk));
  }
}

void LoudnessMeter::keepCurves(bool truePeak) {
  if (scope_ != Scope::Full) return;
  stepFrames_ = curveStepFrames(sampleRate_);
  keepsPeaks_ = truePeak;
  // Drawing the peaks takes an estimate of every block, not just of the few
  // that may raise the whole song's peak.
  if (truePeak) truePeak_->keepStepPeaks();
}

// On the worker thread. Curves split the audio at their steps, so each value
// belongs to its step alone.
bool LoudnessMeter::measure(const float* interleaved, std::size_t frames) {
  while (frames > 0) {
    const std::size_t take = stepFrames_ > 0 ? std::min(frames, stepFrames_ - inStep_) : frames;
    // Its only failure is running out of memory for the block history.
    if (ebur128_add_frames_float(state_, interleaved, take) != EBUR128_SUCCESS) return false;
    if (truePeak_ != nullptr) {
      try {
        truePeak_->add(interleaved, take);
      } catch (const std::bad_alloc&) {
        return false;
      }
    }
    interleaved += take * static_cast<std::size_t>(channels_);
    frames -= take;
    inStep_ += take;
    if (stepFrames_ > 0 && inStep_ == stepFrames_) closeStep();
  }
  return true;
}

// libebur128 sums the whole 3 s window for each short-term figure, thirty
// times the audio at a step of 100 ms. The window is the mean of its thirty
// steps, so each step is measured once and the mean kept.
void LoudnessMeter::closeStep() {
  double block = kSilence;
  if (ebur128_loudness_window(state_, 100, &block) != EBUR128_SUCCESS) block = kSilence;
  const double energy = std::isfinite(block) ? std::pow(10.0, (block + kLoudnessOffset) / 10.0) : 0.0;
  windowEnergy_ += energy - recentEnergies_[nextEnergy_];
  recentEnergies_[nextEnergy_] = energy;
  nextEnergy_ = (nextEnergy_ + 1) % recentEnergies_.size();
  // The running sum drifts by roundings; resummed once a window, it cannot.
  if (nextEnergy_ == 0) windowEnergy_ = std::accumulate(recentEnergies_.begin(), recentEnergies_.end(), 0.0);
  const double mean = windowEnergy_ / static_cast<double>(recentEnergies_.size());
  shortTerm_.push_back(mean > 0.0 ? static_cast<float>(10.0 * std::log10(mean) - kLoudnessOffset) : -INFINITY);
  if (keepsPeaks_) truePeakSteps_.push_back(static_cast<float>(toDecibels(truePeak_->takeStepPeak())));
  inStep_ = 0;
}

void LoudnessMeter::stop() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

LoudnessFigures LoudnessMeter::figures() {
  if (figures_) return *figures_;
  if (!filling_.empty()) hand(std::move(filling_));
  filling_.clear();
  stop();
  if (failed_) throw std::bad_alloc();
  if (stepFrames_ > 0 && inStep_ > 0) closeStep();

  LoudnessFigures figures;
  double value = 0.0;
  if (ebur128_loudness_global(state_, &value) == EBUR128_SUCCESS && std::isfinite(value)) {
    figures.integratedLufs = value;
  }
  if (scope_ == Scope::Full) {
    if (ebur128_loudness_range(state_, &value) == EBUR128_SUCCESS && std::isfinite(value)) figures.rangeLu = value;
    const double truePeak = truePeak_->peak();
    double samplePeak = 0.0;
    for (int channel = 0; channel < channels_; ++channel) {
      if (ebur128_sample_peak(state_, static_cast<unsigned>(channel), &value) == EBUR128_SUCCESS) {
        samplePeak = std::max(samplePeak, value);
      }
    }
    // The true peak of a signal is never below its sample peak; the resampler
    // can land a hair under it on a full-scale sample.
    figures.truePeakDbtp = toDecibels(std::max(truePeak, samplePeak));
    figures.samplePeakDbfs = toDecibels(samplePeak);
  }
  figures_ = figures;
  return figures;
}

double LoudnessMeter::combinedIntegratedLufs(const std::vector<LoudnessMeter*>& meters) {
  std::vector<ebur128_state*> states;
  for (LoudnessMeter* meter : meters) {
    meter->figures();
    states.push_back(meter->state_);
  }
  double value = 0.0;
  if (states.empty() || ebur128_loudness_global_multiple(states.data(), states.size(), &value) != EBUR128_SUCCESS ||
      !std::isfinite(value)) {
    return kSilence;
  }
  return value;
}

GainReductionMeter::GainReductionMeter(int channels, int sampleRate, double nominalGainDb,
                                       std::size_t curveStepFrames)
    : channels_(channels),
      windowFrames_(std::max<std::size_t>(1, static_cast<std::size_t>(sampleRate) / 500)),  // 2 ms
      nominalGain_(static_cast<float>(std::pow(10.0, nominalGainDb / 20.0))), curveStep_(curveStepFrames) {}

namespace {

// Magnitudes compared as bit patterns, whose integer order is the numeric
// one: an integer maximum becomes vector code, a float one (kept NaN-exact)
// does not.
float peakOf(const float* samples, std::size_t count, float peak) {
  std::int32_t largest;
  std::memcpy(&largest, &peak, sizeof largest);
  for (std::size_t i = 0; i < count; ++i) {
    std::int32_t bits;
    std::memcpy(&bits, samples + i, sizeof bits);
    largest = std::max(largest, bits & 0x7FFFFFFF);
  }
  std::memcpy(&peak, &largest, sizeof peak);
  return peak;
}

}  // namespace

void GainReductionMeter::add(const float* const* input, const float* const* output, std::size_t frames) {
  // A window at a time, each channel's samples in a row: loops the compiler
  // turns into vector code.
  for (std::size_t frame = 0; frame < frames;) {
    const std::size_t take = std::min(frames - frame, windowFrames_ - inWindow_);
    for (int channel = 0; channel < channels_; ++channel) {
      inputPeak_ = peakOf(input[channel] + frame, take, inputPeak_);
      outputPeak_ = peakOf(output[channel] + frame, take, outputPeak_);
    }
    frame += take;
    inWindow_ += take;
    if (inWindow_ == windowFrames_) closeWindow();
  }
}

void GainReductionMeter::closeWindow() {
  if (curveStep_ > 0) {
    // A window counts for the step it starts in.
    const std::size_t step = windowsClosed_ * windowFrames_ / curveStep_;
    if (lowestRatios_.size() <= step) lowestRatios_.resize(step + 1, std::numeric_limits<float>::infinity());
    if (inputPeak_ >= kWindowFloor) lowestRatios_[step] = std::min(lowestRatios_[step], outputPeak_ / inputPeak_);
  }
  ++windowsClosed_;
  if (inputPeak_ >= kWindowFloor) lowestRatio_ = std::min(lowestRatio_, outputPeak_ / inputPeak_);
  inWindow_ = 0;
  inputPeak_ = 0.0f;
  outputPeak_ = 0.0f;
}

double GainReductionMeter::reductionDb(float ratio) const {
  if (!std::isfinite(ratio)) return 0.0;
  if (ratio <= 0.0f) return std::numeric_limits<double>::infinity();
  return std::max(0.0, 20.0 * std::log10(static_cast<double>(nominalGain_) / ratio));
}

double GainReductionMeter::largestDb() const {
  float lowest = lowestRatio_;
  if (inWindow_ > 0 && inputPeak_ >= kWindowFloor) lowest = std::min(lowest, outputPeak_ / inputPeak_);
  return reductionDb(lowest);
}

std::vector<float> GainReductionMeter::curveDb() const {
  std::vector<float> curve;
  for (float ratio : lowestRatios_) curve.push_back(static_cast<float>(reductionDb(ratio)));
  if (curveStep_ > 0 && inWindow_ > 0) {
    const std::size_t step = windowsClosed_ * windowFrames_ / curveStep_;
    if (curve.size() <= step) curve.resize(step + 1, 0.0f);
    if (inputPeak_ >= kWindowFloor) {
      curve[step] = std::max(curve[step], static_cast<float>(reductionDb(outputPeak_ / inputPeak_)));
    }
  }
  return curve;
}

}  // namespace render
