#pragma once
// Loudness as EBU R 128 / ITU-R BS.1770 measure it (libebur128), and the
// largest gain reduction seen between the input and the aligned output.

#include "host/render/TruePeakMeter.h"

#include <ebur128.h>

#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace render {

constexpr double kSilence = -std::numeric_limits<double>::infinity();

struct LoudnessFigures {
  double integratedLufs = kSilence;  // -inf: nothing above the absolute gate
  double rangeLu = 0.0;
  double truePeakDbtp = kSilence;
  double samplePeakDbfs = kSilence;
};

class LoudnessMeter {
 public:
  enum class Scope { IntegratedOnly, Full };
  // Mono is measured as dual mono: the way a mono file sounds on two
  // loudspeakers, which is how it will be compared with stereo masters.
  // The measurement (true peak above all) costs more than the limiter does,
  // so it runs on a thread of its own beside the render.
  LoudnessMeter(int channels, int sampleRate, Scope scope);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  void add(const float* interleaved, std::size_t frames);
  // Waits for the measurement to catch up; nothing may be added afterwards.
  LoudnessFigures figures();
  // The integrated loudness of all these meters' audio taken as one
  // programme, as an album is measured; -inf for silence. Finishes each.
  static double combinedIntegratedLufs(const std::vector<LoudnessMeter*>& meters);

 private:
  void hand(std::vector<float> chunk);
  void work();
  void stop();

  ebur128_state* state_;
  std::unique_ptr<TruePeakMeter> truePeak_;  // Full scope only
  Scope scope_;
  int channels_;
  std::size_t chunkSamples_;
  std::vector<float> filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<float>> queue_;
  std::vector<std::vector<float>> spare_;
  bool closing_ = false;
  bool failed_ = false;
  std::optional<LoudnessFigures> figures_;
  std::thread worker_;
};

// Gain reduction is the plug-in's nominal gain (what it applies where it does
// not limit) minus the gain it actually applied, measured over short windows
// as output peak over input peak, so filters and phase shifts of another
// effect do not read as reduction at zero crossings.
class GainReductionMeter {
 public:
  GainReductionMeter(int channels, int sampleRate, double nominalGainDb);
  // The input delayed to line up with the output, frame for frame.
  void add(const float* const* input, const float* const* output, std::size_t frames);
  double largestDb() const;  // 0 when nothing was reduced

 private:
  void closeWindow();

  int channels_;
  std::size_t windowFrames_;
  float nominalGain_;
  std::size_t inWindow_ = 0;
  float inputPeak_ = 0.0f;
  float outputPeak_ = 0.0f;
  float lowestRatio_ = std::numeric_limits<float>::infinity();
};

}  // namespace render
