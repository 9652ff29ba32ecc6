#pragma once
// Loudness as EBU R 128 / ITU-R BS.1770 measure it (libebur128), and the
// largest gain reduction seen between the input and the aligned output.

#include "host/render/TruePeakMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <array>
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

// The step of the curves drawn over a song's time: 100 ms, as fine as its
// shape needs, a few hundred kilobytes an hour.
inline std::size_t curveStepFrames(int sampleRate) { return std::max(1, sampleRate / 10); }

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

  // Full scope only, before anything is added: also keeps, for the picture of
  // the render, the short-term loudness at the end of every step of
  // curveStepFrames() and, with `truePeak`, the largest true peak within it.
  void keepCurves(bool truePeak);

  void add(const float* interleaved, std::size_t frames);
  // Waits for the measurement to catch up; nothing may be added afterwards.
  LoudnessFigures figures();
  // After figures(): one value per step, the last one perhaps partial; LUFS
  // and dBTP, -inf for silence.
  const std::vector<float>& shortTermCurve() const { return shortTerm_; }
  const std::vector<float>& truePeakCurve() const { return truePeakSteps_; }
  // The integrated loudness of all these meters' audio taken as one
  // programme, as an album is measured; -inf for silence. Finishes each.
  static double combinedIntegratedLufs(const std::vector<LoudnessMeter*>& meters);

 private:
  void hand(std::vector<float> chunk);
  void work();
  bool measure(const float* interleaved, std::size_t frames);
  void closeStep();
  void stop();

  ebur128_state* state_;
  std::unique_ptr<TruePeakMeter> truePeak_;  // Full scope only
  Scope scope_;
  int channels_;
  int sampleRate_;
  std::size_t chunkSamples_;
  std::vector<float> filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<float>> queue_;
  std::vector<std::vector<float>> spare_;
  bool closing_ = false;
  bool failed_ = false;
  std::optional<LoudnessFigures> figures_;
  // Written by the worker only, read once it has finished.
  std::size_t stepFrames_ = 0;  // 0: no curves
  bool keepsPeaks_ = false;
  std::size_t inStep_ = 0;
  std::array<double, 30> recentEnergies_{};  // of the last thirty steps: 3 s
  std::size_t nextEnergy_ = 0;
  double windowEnergy_ = 0.0;
  std::vector<float> shortTerm_;
  std::vector<float> truePeakSteps_;
  std::thread worker_;
};

// Gain reduction is the plug-in's nominal gain (what it applies where it does
// not limit) minus the gain it actually applied, measured over short windows
// as output peak over input peak, so filters and phase shifts of another
// effect do not read as reduction at zero crossings.
class GainReductionMeter {
 public:
  // A non-zero curveStepFrames also keeps the largest reduction of every
  // step of that many frames, for the picture of the render.
  GainReductionMeter(int channels, int sampleRate, double nominalGainDb, std::size_t curveStepFrames = 0);
  // The input delayed to line up with the output, frame for frame.
  void add(const float* const* input, const float* const* output, std::size_t frames);
  double largestDb() const;  // 0 when nothing was reduced
  std::vector<float> curveDb() const;  // per step, 0 where nothing was reduced or measured

 private:
  void closeWindow();
  double reductionDb(float ratio) const;

  int channels_;
  std::size_t windowFrames_;
  float nominalGain_;
  std::size_t inWindow_ = 0;
  float inputPeak_ = 0.0f;
  float outputPeak_ = 0.0f;
  float lowestRatio_ = std::numeric_limits<float>::infinity();
  std::size_t curveStep_;
  std::size_t windowsClosed_ = 0;
  std::vector<float> lowestRatios_;  // per curve step
};

}  // namespace render
