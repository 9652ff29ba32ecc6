#include "engine/LimiterEngine.h"

#include "engine/InterSamplePeaks.h"

#include <algorithm>
#include <cmath>

// The stages of the gain computer run for every sample and must inline into
// its loop, where the per-sample state lives in registers.
#define QUELMAR_STAGE [[gnu::always_inline]] inline

// The arithmetic below is bit-exact by design: every "double" expression widens
// its float operands first, every float expression stays in float, and the
// build forbids FMA contraction. Do not "simplify" the snaps: x + g - g
// rounded through float is what puts a value on a coarser grid.

namespace {

// ---- The level scale and the settings
constexpr float kDetectorScale = 31.999996185302734f;  // 32 - 2^-18: full scale sits just below 32.0
constexpr double kLevelScale = 31.999996185302734;
constexpr double kDbToExponent = 0.11512925464970228;    // ln(10) / 20
constexpr double kShadowFactor = 0.4556253375000625;     // -6.83 dB
constexpr float kGateFactor = 0.0404001f;                // slow gate relative to its source level
constexpr float kOutputGainLimit = 31.906253814697266f;  // the 0.0 dB ceiling: -0.0255 dBFS
constexpr float kAbsurdLevel = 1e37f;                    // detected magnitudes above this (or NaN) are unusable

// ---- Target search and envelope, every sample
constexpr std::uint32_t kSettledCycles = 20;    // settleCount from which the envelope counts as settled
constexpr float kUnsettleRatio = 0.015625f;     // 2^-6 (-36 dB): a leaving level above envelope x this unsettles it
constexpr double kTargetMargin = 1.0009765625;  // 1 + 2^-10: the release target sits this far above floor or slow level
constexpr float kCoarseTargetLimit = 16.0f;     // release targets below this lie on the grid of kCoarseTargetGrid
constexpr float kCoarseTargetGrid = 8.0f;
constexpr double kLeavingMargin = 1.0000001676380634;  // a candidate taken from a leaving level sits just above it
constexpr double kCreep = 1.0000001;                   // per sample: the rise of a level that holds instead of falling
constexpr double kAttackGridRatio = 1.4142135623730951;  // sqrt 2: the attack step's grid, relative to its target
constexpr float kAttackGridLimit = 1e38f;                // targets from here on use the fixed grid below
constexpr float kAttackGridCeiling = 1.4142135230892728e38f;
constexpr float kMinimumAttackRatio = 4.76837158203125e-07f;  // 2^-21: the smallest step, relative to its target
constexpr float kAttackNearRatio = 0.9949874f;  // -0.0437 dB: below this share of its goal the attack is not near
constexpr float kQuietRatio = 0.01023293f;      // -39.8 dB: below this share of the last attack's goal is quiet
constexpr double kAttackStepShrink = 0.7483314773547883;  // -2.5 dB: what a completed rise leaves of its step

// ---- Cycle adaptation, once every N samples (a "cycle", 1.25 ms). Counts are
// in cycles unless named otherwise; at 44.1 kHz 100 cycles are 125 ms.
constexpr std::uint8_t kGateCountdownCycles = 100;        // a gate stays armed this long after the hold last passed it
constexpr std::int32_t kGateHoldCycles = 160;             // the slow gate's hold, N x this samples after hold > slow
constexpr std::uint16_t kFloorHoldAfterRaise = 400;       // about half a second before a raised floor decays
constexpr std::uint16_t kFloorHoldPerShadow = 15;         // cycles between shadow refreshes while the floor decays;
                                                          // the quiet gate re-arms only while floorHold is above it
constexpr std::uint16_t kProgramPeakHoldCycles = 399;     // before programPeak may decay
constexpr double kSustainAverageCoef = 0.9959786;         // per cycle: slowAverage's share of the last average
constexpr double kCycleFloorRatio = 0.35999999940395355;  // -8.87 dB: a raised floor under the cycle peak
constexpr float kPeakRestartRatio = 0.25f;                // -12 dB: a peak this far below a memory restarts it
constexpr float kProgramPeakDecay = 0.99991333f;          // per cycle, once programPeakHold ran out
constexpr float kFloorRaiseAverage = 0.36f;               // a floor rises only while slowAverage > slow x this
constexpr double kProgramPeakLift = 2.7777777777777777;   // 1 / 0.36: the program peak a gate level implies
constexpr double kFloorDecayCoef = 0.996826171875;        // -0.0276 dB of the distance to the rest level per cycle
constexpr float kPeakMemoryDecay = 0.99956685f;           // per cycle
constexpr double kSustainBaseFall = 0.9576032806985737;   // 2^-1/16 per cycle, down toward the floor's shadow
// sustainBase follows sustainTarget at a distance set by how close the slow
// level runs to the remembered peak: the closer, the nearer the base.
struct SustainBaseStep {
  float slowRatio;  // applies while slow > peakMemory x this
  double factor;
};
constexpr SustainBaseStep kSustainBaseSteps[] = {
    {0.953065f, 0.9785720620877001},   // 2^-1/32
    {0.919945f, 0.9170040432046712},   // 2^-1/8
    {0.8684975f, 0.8408964152537145},  // 2^-1/4
};
constexpr double kSustainBaseFarFactor = 0.7071067811865476;  // 2^-1/2, below every step
constexpr float kOverloadLevel = 8192.0f;                     // +48 dB above full scale
constexpr float kOverloadDepth = 6.103515625e-05f;            // 2^-14: the cycle peak 84 dB below the slow level
constexpr float kOverloadSlowCut = 0.75f;                     // what the recovery leaves of the slow level
constexpr float kOverloadFloorLift = 1.0625f;                 // the recovered floor above the threshold

// Snap a double to the float grid of step g (g a power of two, or a float).
inline float snapDouble(double x, double g) {
  const float sum = static_cast<float>(x + g);
  return static_cast<float>(static_cast<double>(sum) - g);
}

inline float snapFloat(float x, float g) {
  const float sum = x + g;
  return sum - g;
}

constexpr int kChunk = 128;  // samples per stage of process(); a multiple of eight

// Detection, shared by the chunk-wide pass (four lanes at a time) and the
// sample-by-sample path of a chunk with unusable input: the larger channel
// magnitude in the level scale, and whether a magnitude is usable at all.
template <typename T>
inline T detectorLevel(T left, T right) {
  return (left < right ? right : left) * kDetectorScale;
}

template <typename T>
inline auto isUsable(T magnitude) {
  return magnitude <= kAbsurdLevel;
}

using Float4 = Lanes<4>::F;

// The output for a chunk: what leaves the delay line times outputGain over the
// envelope. 1/envelope in float equals the double quotient rounded to float
// (a double has more than twice the bits of a float, so rounding twice is
// harmless for a division).
void applyOutputGain(float gain, const float* envelope, const float* leftIn, const float* rightIn, int n, float* left,
                     float* right) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const Float4 g = 1.0f / Lanes<4>::load(envelope + i);
    Lanes<4>::store(left + i, gain * (g * Lanes<4>::load(leftIn + i)));
    Lanes<4>::store(right + i, gain * (g * Lanes<4>::load(rightIn + i)));
  }
  for (; i < n; ++i) {
    const float g = static_cast<float>(1.0 / static_cast<double>(envelope[i]));
    left[i] = gain * (g * leftIn[i]);
    right[i] = gain * (g * rightIn[i]);
  }
}

// The detector levels of a chunk and its largest peaks, when every peak is in
// range; false (levels and meters unusable) otherwise. The peaks are samples,
// or interpolated peaks, which are magnitudes already.
bool levelsOfChunk(const float* peaksL, const float* peaksR, int n, float* level, float& meterL, float& meterR) {
  using V = Lanes<4>;
  using Mask = V::I;
  V::F highL = V::F{} + meterL;
  V::F highR = V::F{} + meterR;
  Mask inRange = Mask{} - 1;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const V::F l = V::magnitude(V::load(peaksL + i));
    const V::F r = V::magnitude(V::load(peaksR + i));
    inRange &= isUsable(l) & isUsable(r);
    V::store(level + i, detectorLevel(l, r));
    highL = l > highL ? l : highL;
    highR = r > highR ? r : highR;
  }
  bool usable = true;
  for (int lane = 0; lane < 4; ++lane) usable = usable && inRange[lane] != 0;
  float tailL = meterL, tailR = meterR;
  for (; i < n; ++i) {
    const float l = std::fabs(peaksL[i]);
    const float r = std::fabs(peaksR[i]);
    usable = usable && isUsable(l) && isUsable(r);
    level[i] = detectorLevel(l, r);
    if (l > tailL) tailL = l;
    if (r > tailR) tailR = r;
  }
  if (!usable) return false;
  // Every candidate is a magnitude or the meter itself, so taking the largest
  // in another order gives the same bits.
  for (int lane = 0; lane < 4; ++lane) {
    if (highL[lane] > tailL) tailL = highL[lane];
    if (highR[lane] > tailR) tailR = highR[lane];
  }
  meterL = tailL;
  meterR = tailR;
  return true;
}

// The delay line over a chunk: what leaves is the ring's content from position
// start on, then the chunk's own samples N places back; the last N samples of
// the chunk stay. Read before written, so the output is what a sample-by-sample
// ring gives.
void passThroughDelay(float* ring, unsigned N, unsigned start, const float* entering, int n, float* leaving) {
  const unsigned count = static_cast<unsigned>(n);
  const unsigned fromRing = std::min(count, N);
  const unsigned toEnd = std::min(fromRing, N - start);
  std::copy(ring + start, ring + start + toEnd, leaving);
  std::copy(ring, ring + (fromRing - toEnd), leaving + toEnd);
  std::copy(entering, entering + (count - fromRing), leaving + fromRing);

  const unsigned first = count - fromRing;  // the first sample that stays
  const unsigned at = (start + first) % N;
  const unsigned untilEnd = std::min(fromRing, N - at);
  std::copy(entering + first, entering + first + untilEnd, ring + at);
  std::copy(entering + first + untilEnd, entering + count, ring);
}

}  // namespace

bool haveAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

LimiterEngine::LimiterEngine() {
  setThreshold(0.0f);
  setSampleRate(44100.0f);
}

void LimiterEngine::setThreshold(float dB) {
  const double linear = std::exp(static_cast<double>(dB) * kDbToExponent) * kLevelScale;
  const float L = snapDouble(linear, 256.0);
  // A level of zero would let the envelope reach zero and the gain become
  // infinite; an infinite one turns the release arithmetic into NaN.
  if (!(L > 0.0f) || !std::isfinite(L)) return;

  const bool processed = processedSinceReset_.load(std::memory_order_relaxed);
  if (processed && L == thresholdLevel_.load()) return;

  const float shadow = static_cast<float>(static_cast<double>(L) * kShadowFactor);
  thresholdLevel_ = L;
  floorLevel_ = L;
  floorShadow_ = shadow;
  floorRest_ = snapDouble(static_cast<double>(L) * 0.953125, 256.0);

  if (!processed) {
    sustainBase_ = shadow;
    primeLevel_ = L;
    primePending_.store(true, std::memory_order_release);
  } else if (shadow > sustainBase_.load()) {
    sustainBase_ = shadow;
  }
}

void LimiterEngine::setOutput(float dB) {
  const double G = std::exp(static_cast<double>(dB) * kDbToExponent) * kLevelScale;
  if (std::isnan(G)) return;  // no usable setting: keep the ceiling we have
  float gain = kOutputGainLimit;
  // Settings at or above the ceiling land on it; testing before the snap also
  // keeps a grid of 2^1024 (huge dB values) from turning the gain into NaN.
  if (G < kOutputGainLimit) {
    int exponent = 0;
    std::frexp(G, &exponent);
    gain = std::min(snapDouble(G, std::ldexp(1.0, exponent)), kOutputGainLimit);
  }
  outputGain_ = gain;
}

void LimiterEngine::setSampleRate(float hz) {
  float rate;
  if (!(hz >= 10.0f)) {  // also NaN: an unusable rate means the common default
    rate = 44100.0f;
  } else if (hz < 2000.0f) {
    rate = 2000.0f;
  } else {
    rate = std::min(hz, 384000.0f);
  }
  if (rate == sampleRate_) return;

  sampleRate_ = rate;
  const double r = rate;
  lookahead_ = static_cast<std::uint16_t>(r * 0.00125 + 0.49999999);  // 1.25 ms, halves down
  lookaheadLast_ = static_cast<std::uint16_t>(lookahead_ - 2);
  shortHoldLength_ = static_cast<std::uint16_t>(r * 0.00205 + 0.49999999);  // 2.05 ms
  longHoldLength_ = static_cast<std::uint16_t>(6 * shortHoldLength_);
  attackFraction_ = snapDouble(1.0 / (lookahead_ + 1), 1.0);
  releaseCoef_ = snapDouble(std::pow(0.01, 100.65 / r), 1.0);    // 99 % of a gap in 9.94 ms
  slowFallCoef_ = snapDouble(std::pow(0.01, 0.70525 / r), 1.0);  // 99 % in 1.418 s
  slowRiseCoef_ = snapDouble(std::pow(0.01, 7.0525 / r), 16.0);  // 99 % in 141.8 ms
  state_.ringPos = 0;
  sizeBuffers();
}

void LimiterEngine::sizeBuffers() {
  slowLevelRing_.assign(lookahead_, 0.0f);
  levelRing_.assign(lookahead_, 0.0f);
  delayLeft_.assign(lookahead_, 0.0f);
  delayRight_.assign(lookahead_, 0.0f);
  clearIspHistories();
}

void LimiterEngine::clearIspHistories() {
  std::fill(std::begin(ispHistoryLeft_), std::end(ispHistoryLeft_), 0.0f);
  std::fill(std::begin(ispHistoryRight_), std::end(ispHistoryRight_), 0.0f);
  ispClearPending_.store(false, std::memory_order_relaxed);
}

void LimiterEngine::detectInterSamplePeaks(State& s, const float* inL, const float* inR, int n, float* peakL,
                                           float* peakR, float* sampleL, float* sampleR) {
  // A straight line of the eleven samples before the chunk and the chunk
  // itself, padded to whole groups of four.
  alignas(32) float lineL[11 + kChunk + 7], lineR[11 + kChunk + 7];
  const unsigned w0 = s.ispWritePos;
  for (unsigned j = 0; j < 11; ++j) {
    lineL[j] = ispHistoryLeft_[(w0 + 1 + j) % 12];
    lineR[j] = ispHistoryRight_[(w0 + 1 + j) % 12];
  }
  std::copy(inL, inL + n, lineL + 11);
  std::copy(inR, inR + n, lineR + 11);
  std::fill(lineL + 11 + n, lineL + 11 + kChunk + 7, 0.0f);
  std::fill(lineR + 11 + n, lineR + 11 + kChunk + 7, 0.0f);
  static const bool wide = haveAvx2();
  if (wide) {
    interSamplePeaksAvx2(lineL, lineR, (n + 7) / 8, peakL, peakR, sampleL, sampleR);
  } else {
    Lanes<4>::run(lineL, lineR, (n + 3) / 4, peakL, peakR, sampleL, sampleR);
  }
  // The histories and their positions as a sample-by-sample pass leaves them.
  for (int i = std::max(0, n - 12); i < n; ++i) {
    ispHistoryLeft_[(w0 + i) % 12] = inL[i];
    ispHistoryRight_[(w0 + i) % 12] = inR[i];
  }
  const unsigned last = (w0 + n - 1) % 12;
  s.ispReadPos = static_cast<std::uint8_t>(last <= 5 ? last + 6 : last - 6);
  s.ispWritePos = static_cast<std::uint8_t>((w0 + n) % 12);
}

void LimiterEngine::reset() {
  const float T = thresholdLevel_;
  // Every tracker from its initial value, then the level trackers to the
  // threshold. The inter-sample read position is not part of the restart: it
  // follows from the write position with the next sample that uses it.
  State fresh;
  fresh.ispReadPos = state_.ispReadPos;
  primeTrackers(fresh, T);
  state_ = fresh;

  floorLevel_ = T;
  const float shadow = static_cast<float>(static_cast<double>(T) * kShadowFactor);
  floorShadow_ = shadow;
  sustainBase_ = shadow;

  primePending_.store(false, std::memory_order_relaxed);
  processedSinceReset_.store(false, std::memory_order_relaxed);
  sizeBuffers();
}

void LimiterEngine::setIspEnabled(bool on) {
  if (on && !ispEnabled_.load()) ispClearPending_.store(true, std::memory_order_relaxed);
  ispEnabled_ = on;
}

std::uint16_t LimiterEngine::latency() const {
  return static_cast<std::uint16_t>(lookahead_ + (ispEnabled_.load() ? 6 : 0));
}

void LimiterEngine::primeTrackers(State& s, float L) {
  s.targetCandidate = L;
  s.shortHold = L;
  s.longHold = L;
  s.sustainTarget = L;
  s.envelopeTarget = L;
  s.searchLevel = L;
  s.previousLevel = L;
  s.slowAverage = L;
  s.slowLevel = L;
  s.gateLevel = L * kGateFactor;
  s.slowGate = s.gateLevel;
}

LimiterEngine::State LimiterEngine::state() const {
  State s = state_;
  if (primePending_.load(std::memory_order_acquire) && s.shortHoldAge == 0) primeTrackers(s, primeLevel_);
  return s;
}

LimiterEngine::Settings LimiterEngine::settings() const {
  return Settings{thresholdLevel_, floorLevel_,  floorShadow_,   sustainBase_,     floorRest_,      sampleRate_,
                  outputGain_,     lookahead_,   lookaheadLast_, shortHoldLength_, longHoldLength_, cyclePeakSpan_,
                  attackFraction_, releaseCoef_, slowRiseCoef_,  slowFallCoef_,    ispEnabled_};
}

// One chunk's working buffers. Detection with interpolation and the levels
// depend on the input only and run over the whole chunk first; then the gain
// computer goes sample by sample, and the delay line and the output gain over
// the chunk again. Each stage keeps the per-sample order of operations, so the
// bits are those of a plain sample-by-sample loop.
struct LimiterEngine::Chunk {
  alignas(16) float peakL[kChunk], peakR[kChunk];      // interpolated peaks, when detection is on
  alignas(16) float sampleL[kChunk], sampleR[kChunk];  // what enters the delay line, unless the input itself
  alignas(16) float level[kChunk];                     // detector levels of a chunk without unusable input
  alignas(16) float envelope[kChunk];                  // the envelope that scales each leaving sample
  alignas(16) float outL[kChunk], outR[kChunk];        // what leaves the delay line
  const float* peaksL = nullptr;                       // the detected magnitudes: peakL, or the input
  const float* peaksR = nullptr;
  float meterL = 0.0f, meterR = 0.0f;  // the input peak meters as they rise
};

void LimiterEngine::process(const float* const* inputs, float* const* outputs, MeterLevel* inputPeak,
                            MeterLevel* envelopeLevel, MeterCounter* meterHoldoff, std::int32_t sampleFrames) {
  if (sampleFrames <= 0) return;

  // Worked on in place: the gain computer keeps its own register copy of the
  // per-sample part, so a second copy of the whole record per block would
  // only cost time on short blocks.
  State& s = state_;
  // A plain load first: the locked exchange is only paid when a hand-over waits.
  if (primePending_.load(std::memory_order_relaxed) && primePending_.exchange(false, std::memory_order_acquire) &&
      s.shortHoldAge == 0) {
    primeTrackers(s, primeLevel_);
  }

  const unsigned N = lookahead_;
  const Meters meters{envelopeLevel, meterHoldoff};
  Chunk chunk;
  chunk.meterL = inputPeak[0];
  chunk.meterR = inputPeak[1];

  for (std::int32_t chunkStart = 0; chunkStart < sampleFrames; chunkStart += kChunk) {
    const int n = std::min<std::int32_t>(kChunk, sampleFrames - chunkStart);
    const float* inL = inputs[0] + chunkStart;
    const float* inR = inputs[1] + chunkStart;
    const bool isp = ispEnabled_.load();
    if (isp) {
      if (ispClearPending_.load(std::memory_order_relaxed)) clearIspHistories();
      detectInterSamplePeaks(s, inL, inR, n, chunk.peakL, chunk.peakR, chunk.sampleL, chunk.sampleR);
    }

    // Most chunks hold no absurd or non-finite peak: their levels and meter
    // peaks are worked out for the whole chunk at once, and the gain computer
    // only reads them. A chunk with such a peak is detected sample by sample.
    chunk.peaksL = isp ? chunk.peakL : inL;
    chunk.peaksR = isp ? chunk.peakR : inR;
    const bool clean = levelsOfChunk(chunk.peaksL, chunk.peaksR, n, chunk.level, chunk.meterL, chunk.meterR);
    // What enters the delay line: the input, or with interpolation the input
    // six samples back; detection silences the samples it finds unusable.
    const float* enteringL = chunk.sampleL;
    const float* enteringR = chunk.sampleR;
    if (!isp) {
      if (clean) {
        enteringL = inL;
        enteringR = inR;
      } else {
        std::copy(inL, inL + n, chunk.sampleL);
        std::copy(inR, inR + n, chunk.sampleR);
      }
    }

    const unsigned ringStart = s.ringPos;
    if (clean) {
      computeGains<true>(s, chunk, n, meters);
    } else {
      computeGains<false>(s, chunk, n, meters);
    }
    passThroughDelay(delayLeft_.data(), N, ringStart, enteringL, n, chunk.outL);
    passThroughDelay(delayRight_.data(), N, ringStart, enteringR, n, chunk.outR);
    applyOutputGain(outputGain_, chunk.envelope, chunk.outL, chunk.outR, n, outputs[0] + chunkStart,
                    outputs[1] + chunkStart);
  }

  if (chunk.meterL > inputPeak[0]) inputPeak[0] = chunk.meterL;
  if (chunk.meterR > inputPeak[1]) inputPeak[1] = chunk.meterR;
  if (s.shortHoldAge != 0 && !processedSinceReset_.load(std::memory_order_relaxed)) {
    processedSinceReset_.store(true, std::memory_order_relaxed);
  }
}

// The gain computer over one chunk: one copy of the loop per kind of chunk, so
// the common one carries no trace of the other. The per-sample state stays in
// a local copy (its address never escapes) and goes back to the record only
// around the cycle adaptation.
template <bool kCleanChunk>
void LimiterEngine::computeGains(State& s, Chunk& chunk, int n, const Meters& meters) {
  float* const levelRing = levelRing_.data();
  float* const slowRing = slowLevelRing_.data();
  const unsigned N = lookahead_;
  SampleState h = s;
  for (int i = 0; i < n; ++i) {
    float level;
    if constexpr (kCleanChunk) {
      level = chunk.level[i];
    } else {
      level = detectLevel(h, chunk, i);
    }
    // The level of the sample that leaves the delay line now.
    const unsigned p = h.ringPos;
    const float leaving = levelRing[p];

    if (searchDue(h, N)) searchTarget(h, level, leaving, slowRing[p]);
    updatePeakHolds(h, level);
    updateEnvelope(h, leaving, levelRing, p, N);
    h.previousLevel = level;
    levelRing[p] = level;
    updateSlowLevel(h, level);
    slowRing[p] = h.slowLevel;

    // Ring advance; the cycle adaptation runs before this sample's output.
    if (p > lookaheadLast_) {
      h.ringPos = 0;
      static_cast<SampleState&>(s) = h;
      adaptCycle(s, meters);
      h = s;
    } else {
      h.ringPos = p + 1;
    }
    chunk.envelope[i] = h.envelope;
  }
  static_cast<SampleState&>(s) = h;
}

QUELMAR_STAGE float LimiterEngine::detectLevel(SampleState& h, Chunk& chunk, int i) const {
  float peakL = std::fabs(chunk.peaksL[i]);
  float peakR = std::fabs(chunk.peaksR[i]);
  const bool badL = !isUsable(peakL);
  const bool badR = !isUsable(peakR);
  float level;
  if (badL || badR) {
    h.envelope = kFullScale;
    level = thresholdLevel_;
    chunk.sampleL[i] = 0.0f;
    chunk.sampleR[i] = 0.0f;
    if (badL) peakL = kFullScale;
    if (badR) peakR = kFullScale;
  } else {
    level = detectorLevel(peakL, peakR);
  }
  if (peakL > chunk.meterL) chunk.meterL = peakL;
  if (peakR > chunk.meterR) chunk.meterR = peakR;
  return level;
}

// The search runs at least once per look-ahead length, and early when the
// previous level rose above the level the last search chose to watch.
QUELMAR_STAGE bool LimiterEngine::searchDue(SampleState& h, unsigned N) const {
  ++h.searchAge;
  float reference;
  switch (h.searchReference) {
    case SearchReference::envelope: reference = h.envelope; break;
    case SearchReference::targetCandidate: reference = h.targetCandidate; break;
    default: reference = h.searchLevel; break;
  }
  return h.searchAge > N || h.previousLevel > reference;
}

// Raises the target to a level that entered the window above it, and once the
// envelope has settled lowers it to just above the floor or the slow level
// stored with the leaving sample.
QUELMAR_STAGE void LimiterEngine::searchTarget(SampleState& h, float level, float leaving,
                                               const float& leavingSlowLevel) const {
  const float E = h.envelope;
  const float P = h.previousLevel;
  h.searchAge = 0;
  h.searchLevel = P;
  if (E >= h.envelopeTarget) {
    bool updateCandidate;
    if (h.settleCount != 0) {
      if (leaving > E * kUnsettleRatio) {
        h.settleCount = 0;
        updateCandidate = true;
      } else {
        updateCandidate = h.settleCount >= kSettledCycles;
      }
    } else {
      if (!h.attacking) {
        h.settleCount = 1;
      } else {
        h.searchReference = SearchReference::searchLevel;
        if (P > level || (P == level && E > h.shortHold)) h.settleCount = 1;
      }
      updateCandidate = false;
    }
    if (updateCandidate) {
      if (h.attacking && E > h.targetCandidate) {
        h.attackPeak = static_cast<float>(static_cast<double>(h.attackPeak) * kCreep);
        h.attacking = false;
      }
      const float F = floorLevel_;
      const float S = leavingSlowLevel;
      h.targetCandidate = static_cast<float>(static_cast<double>(F > S ? F : S) * kTargetMargin);
      h.searchReference = F > S ? SearchReference::envelope : SearchReference::targetCandidate;
      if (h.targetCandidate < kCoarseTargetLimit) h.targetCandidate = snapFloat(h.targetCandidate, kCoarseTargetGrid);
    }
  }
  if (P > h.targetCandidate) {
    h.targetCandidate = P;
    if (P >= h.envelopeTarget || h.envelopeTarget == E || E > h.shortHold) {
      h.envelopeTarget = P;
      h.searchReference = SearchReference::searchLevel;
    }
    if (P > E) {
      h.settleCount = 0;
      h.attacking = true;
    }
  }
  if (leaving > h.targetCandidate) {
    if (E >= leaving) {
      h.searchReference = SearchReference::searchLevel;
      const float raised = static_cast<float>(static_cast<double>(leaving) * kLeavingMargin);
      h.targetCandidate = raised < E ? raised : E;
      if (h.envelopeTarget == E) h.envelopeTarget = h.targetCandidate;
      if (h.targetCandidate > h.attackPeak) h.attackPeak = h.targetCandidate;
    } else {
      h.attackGoal = -1.0f;
    }
  }
  if (P > E) h.searchReference = SearchReference::searchLevel;
  if (E > h.shortHold || h.targetCandidate > h.envelopeTarget) h.envelopeTarget = h.targetCandidate;
}

QUELMAR_STAGE void LimiterEngine::updatePeakHolds(SampleState& h, float level) const {
  ++h.shortHoldAge;
  if (h.shortHoldAge > shortHoldLength_ || level > h.shortHold) {
    h.shortHoldAge = 1;
    h.shortHold = level;
    const float base = sustainBase_;
    h.sustainTarget = level < base ? base : level;
    if (h.longHold > h.sustainTarget && h.longHold <= h.slowLevel) h.sustainTarget = h.longHold;
  }
  ++h.longHoldAge;
  if (h.longHoldAge > longHoldLength_ || level >= h.longHold) {
    h.longHoldAge = h.shortHoldAge;
    h.longHold = h.shortHold;
  }
}

// Attack in a straight line, release exponentially, and never below the level
// of the sample leaving now (the brickwall).
QUELMAR_STAGE void LimiterEngine::updateEnvelope(SampleState& h, float leaving, const float* levelRing, unsigned p,
                                                 unsigned N) const {
  const float T = h.envelopeTarget;
  const float E = h.envelope;
  if (T > E) {
    // Attack: reaches T within N + 1 samples. The step is recomputed only when
    // the target changes; a redirected rise goes on with the larger step.
    if (T != h.attackGoal) {
      float step = static_cast<float>((static_cast<double>(T) - E) * attackFraction_);
      const float grid =
          T < kAttackGridLimit ? static_cast<float>(static_cast<double>(T) * kAttackGridRatio) : kAttackGridCeiling;
      step = snapFloat(step, grid);
      if (step > h.attackStep || h.attackStep >= E) h.attackStep = step;
      const float minimum = T * kMinimumAttackRatio;
      if (minimum > h.attackStep) h.attackStep = minimum;
      h.attackPeak = T;
      h.attackGoal = T;
      h.attackNear = T * kAttackNearRatio;
      h.quietLevel = T * kQuietRatio;
      h.quietGate = h.quietLevel;
    }
    h.envelope = static_cast<float>(static_cast<double>(E) + h.attackStep);
    if (h.envelope >= T) {
      h.attackStep = static_cast<float>(h.attackStep * kAttackStepShrink);
      h.attackGoal = -1.0f;
      h.attackPeak = T;
      h.envelope = T;
    }
    h.settleCount = 0;
    h.attacking = true;
  } else if (T > leaving) {
    if (leaving > h.quietGate) {
      h.envelope = static_cast<float>((static_cast<double>(E) - T) * releaseCoef_ + T);
    } else if (h.attackPeak > E) {
      // Quiet: creep up instead of releasing.
      h.envelope = static_cast<float>(static_cast<double>(E) * kCreep);
    }
  } else if (E > leaving) {
    const unsigned next = p + 1 == N ? 0 : p + 1;
    if (h.attackNear > E || leaving > levelRing[next]) {
      h.envelope = static_cast<float>((static_cast<double>(E) - leaving) * releaseCoef_ + leaving);
    }
  }
  if (leaving > h.envelope) {
    h.settleCount = 0;
    h.attacking = true;
    h.envelope = leaving;
    if (leaving > h.envelopeTarget) h.envelopeTarget = leaving;
    if (leaving > h.attackPeak) h.attackPeak = leaving;
    if (h.searchAge == 0 && leaving > h.targetCandidate) h.targetCandidate = leaving;
  }
}

// The slow level rises toward sustainTarget, falls only while the level is
// above the slow gate, and otherwise creeps up while the gate's hold runs out.
QUELMAR_STAGE void LimiterEngine::updateSlowLevel(SampleState& h, float level) const {
  const float S = h.sustainTarget;
  const float L = h.slowLevel;
  if (S > L) {
    h.slowLevel = static_cast<float>((static_cast<double>(L) - S) * slowRiseCoef_ + S);
  } else if (level > h.slowGate) {
    h.slowLevel = static_cast<float>((static_cast<double>(L) - S) * slowFallCoef_ + S);
  } else {
    h.slowLevel = static_cast<float>(static_cast<double>(L) * kCreep);
    if (h.gateHold != 0) --h.gateHold;
  }
}

// ---- Cycle adaptation. hold, slow and sustain are the short hold, the slow
// level and the sustain target as the cycle begins; only the overload
// recovery, last, changes the slow level.

void LimiterEngine::adaptCycle(State& s, const Meters& meters) {
  const float hold = s.shortHold;
  const float slow = s.slowLevel;
  const float sustain = s.sustainTarget;
  const float threshold = thresholdLevel_;
  const float gate = s.gateLevel;  // the slow gate's level before this cycle moves it

  if (s.settleCount >= 1 && s.settleCount < kSettledCycles) ++s.settleCount;
  updateGates(s, hold, slow);
  s.slowAverage = static_cast<float>((static_cast<double>(s.slowAverage) - sustain) * kSustainAverageCoef + sustain);
  trackCyclePeak(s, hold, slow);
  if (s.programPeakHold != 0) --s.programPeakHold;
  raiseFloor(s, slow, sustain, gate);
  decayFloor(s, hold, sustain, threshold);
  // A shadow left pending by the decay is refreshed once the hold rises again.
  if (s.floorPending && hold > slow) {
    s.floorPending = false;
    floorShadow_ = static_cast<float>(static_cast<double>(floorLevel_.load()) * kShadowFactor);
  }
  if (s.cyclePeak >= s.peakMemory) {
    s.peakMemory = s.cyclePeak;
  } else {
    s.peakMemory = s.peakMemory * kPeakMemoryDecay;
  }
  adaptSustainBase(slow, sustain, s.peakMemory);
  recoverFromOverload(s, slow, threshold);
  publishMeters(s, meters);
}

// The quiet gate holds the envelope while the signal stays far below the last
// attack; the slow gate holds the slow level while the signal stays below it.
inline void LimiterEngine::updateGates(State& s, float hold, float slow) const {
  if (hold > s.quietLevel) {
    s.quietCountdown = kGateCountdownCycles;
  } else if (s.quietCountdown != 0) {
    --s.quietCountdown;
  }
  if (s.quietCountdown == 0) {
    s.quietGate = -1.0f;
  } else if (s.floorHold > kFloorHoldPerShadow) {
    s.quietGate = s.quietLevel;
  }

  if (hold > s.gateLevel) {
    s.gateCountdown = kGateCountdownCycles;
  } else if (s.gateCountdown != 0) {
    --s.gateCountdown;
  }
  if (hold > slow) s.gateHold = static_cast<std::int32_t>(lookahead_) * kGateHoldCycles;
  if (s.gateCountdown != 0 && s.gateHold != 0) {
    s.slowGate = s.gateLevel;
  } else {
    s.slowGate = -1.0f;
    s.programPeakArmed = true;
  }
}

// The largest short hold over up to cyclePeakSpan cycles, and the raised floor
// it would allow.
inline void LimiterEngine::trackCyclePeak(State& s, float hold, float slow) const {
  ++s.cyclePeakAge;
  if (s.cyclePeakAge > cyclePeakSpan_ || hold > s.cyclePeak) {
    s.cyclePeakAge = 1;
    s.cyclePeak = hold;
    s.cycleFloor = static_cast<float>(static_cast<double>(hold) * kCycleFloorRatio);
    if (hold > slow) {
      if (s.peakMemory * kPeakRestartRatio > hold) s.peakMemory = hold + hold;
      if (s.programPeakArmed && s.programPeakHold == 0) {
        s.programPeakArmed = false;
        if (s.programPeak * kPeakRestartRatio > hold) s.programPeak = hold;
      }
    }
  }
}

// After a loud passage the floor rises to the cycle floor, and the slow gate
// and the program peak follow the program's level.
inline void LimiterEngine::raiseFloor(State& s, float slow, float sustain, float gate) {
  const float K = s.cycleFloor;
  if (slow > K) {
    if (sustain > slow) {
      const float M = K * kGateFactor;
      if (M > gate || sustain > s.programPeak) {
        s.gateLevel = M;
        s.slowGate = M;
        s.programPeak = sustain;
        s.programPeakHold = kProgramPeakHoldCycles;
      }
    }
    if (s.cyclePeak >= s.programPeak) {
      s.programPeak = s.cyclePeak;
    } else if (s.programPeakHold == 0) {
      s.programPeak = s.programPeak * kProgramPeakDecay;
    }
    if (K > floorLevel_.load()) {
      if (s.slowAverage > slow * kFloorRaiseAverage) {
        s.floorPending = false;
        s.floorHold = kFloorHoldAfterRaise;
        floorLevel_ = K;
        floorShadow_ = static_cast<float>(static_cast<double>(K) * kShadowFactor);
      } else {
        s.cyclePeakAge = cyclePeakSpan_;  // restart the cycle peak next cycle instead
      }
    }
  } else if (sustain > slow) {
    const float M = slow * kGateFactor;
    if (M > gate) {
      s.gateLevel = M;
      s.slowGate = M;
      const float lifted = static_cast<float>(static_cast<double>(slow) * kProgramPeakLift);
      if (lifted > s.programPeak) s.programPeak = lifted;
      s.programPeakHold = kProgramPeakHoldCycles;
    }
  }
}

// A raised floor decays toward its rest level while the signal is above the
// slow gate, never below the threshold; its shadow follows every few cycles.
inline void LimiterEngine::decayFloor(State& s, float hold, float sustain, float threshold) {
  float floor = floorLevel_;
  if (!(floor > s.cyclePeak && floor > slowLevelRing_[0] && floor > threshold)) return;
  if (hold > s.slowGate) {
    const float rest = floorRest_;
    const float R = rest < sustain ? sustain : rest;
    floor = static_cast<float>((static_cast<double>(floor) - R) * kFloorDecayCoef + R);
    if (threshold > floor) floor = threshold;
    floorLevel_ = floor;
  }
  if (s.floorHold == 0) {
    s.floorHold = kFloorHoldPerShadow;
    s.floorPending = false;
    floorShadow_ = static_cast<float>(static_cast<double>(floor) * kShadowFactor);
    if (s.quietLevel > hold) {
      s.quietCountdown = 0;
      s.quietGate = -1.0f;
    }
  } else {
    --s.floorHold;
    s.floorPending = true;
  }
}

// The lower bound of the sustain target: a step below it, by how close the
// slow level runs to the remembered peak, and never below the floor's shadow.
inline void LimiterEngine::adaptSustainBase(float slow, float sustain, float peakMemory) {
  const float shadow = floorShadow_;
  if (!(sustain > shadow)) return;
  double f = kSustainBaseFarFactor;
  for (const SustainBaseStep& step : kSustainBaseSteps) {
    if (slow > step.slowRatio * peakMemory) {
      f = step.factor;
      break;
    }
  }
  const float previous = sustainBase_;
  float base = static_cast<float>(static_cast<double>(sustain) * f);
  if (shadow > base) {
    base = static_cast<float>(static_cast<double>(previous) * kSustainBaseFall);
    if (shadow > base) base = shadow;
  }
  sustainBase_ = base;
}

// Input far above full scale can leave the slow level stuck high above every
// recent peak; it is cut back and the floor restarted near the threshold.
inline void LimiterEngine::recoverFromOverload(State& s, float slow, float threshold) {
  if (!(s.cyclePeakAge > 1 && slow > kOverloadLevel && slow * kOverloadDepth > s.cyclePeak)) return;
  s.slowLevel = slow * kOverloadSlowCut;
  s.slowAverage = s.slowLevel;
  const float recovered = s.cycleFloor > threshold ? s.cycleFloor : threshold * kOverloadFloorLift;
  floorLevel_ = recovered;
  s.floorPending = false;
  s.quietLevel = 0.0f;
  floorShadow_ = static_cast<float>(static_cast<double>(recovered) * kShadowFactor);
}

inline void LimiterEngine::publishMeters(const State& s, const Meters& meters) {
  *meters.envelopeLevel = s.longHold > s.envelope ? s.longHold : s.envelope;
  const std::uint16_t holdoff = *meters.meterHoldoff;
  if (holdoff != 0) *meters.meterHoldoff = static_cast<std::uint16_t>(holdoff - 1);
}
