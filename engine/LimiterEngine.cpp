#include "engine/LimiterEngine.h"

#include "engine/InterSamplePeaks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

// The arithmetic below is bit-exact by design: every "double" expression widens
// its float operands first, every float expression stays in float, and the
// build forbids FMA contraction. Do not "simplify" the snaps: x + g - g
// rounded through float is what puts a value on a coarser grid.

namespace {

constexpr float kDetectorScale = 31.999996185302734f;   // 32 - 2^-18: full scale sits just below 32.0
constexpr double kLevelScale = 31.999996185302734;
constexpr double kDbToExponent = 0.11512925464970228;   // ln(10) / 20
constexpr double kShadowFactor = 0.4556253375000625;    // -6.83 dB
constexpr float kGateFactor = 0.0404001f;               // slow gate relative to its source level
constexpr float kOutputGainLimit = 31.906253814697266f; // the 0.0 dB ceiling: -0.0255 dBFS
constexpr float kAbsurdLevel = 1e37f;

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

using Float4 = Lanes<4>::F;

// The output for a chunk: what leaves the delay line times outputGain over the
// envelope. 1/envelope in float equals the double quotient rounded to float
// (a double has more than twice the bits of a float, so rounding twice is
// harmless for a division).
void applyOutputGain(float gain, const float* envelope, const float* leftIn, const float* rightIn, int n,
                     float* left, float* right) {
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
    inRange &= (l <= kAbsurdLevel) & (r <= kAbsurdLevel);
    V::store(level + i, (l < r ? r : l) * kDetectorScale);
    highL = l > highL ? l : highL;
    highR = r > highR ? r : highR;
  }
  bool usable = true;
  for (int lane = 0; lane < 4; ++lane) usable = usable && inRange[lane] != 0;
  float tailL = meterL, tailR = meterR;
  for (; i < n; ++i) {
    const float l = std::fabs(peaksL[i]);
    const float r = std::fabs(peaksR[i]);
    usable = usable && l <= kAbsurdLevel && r <= kAbsurdLevel;
    level[i] = (l < r ? r : l) * kDetectorScale;
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

// The gain computer's hot state, copied out of the state record for a chunk
// so that the compiler can keep it in registers (the record's address escapes
// into the rarely run cycle adaptation).
struct Hot {
  explicit Hot(const LimiterEngine::State& s)
      : envelope(s.envelope), envelopeTarget(s.envelopeTarget), targetCandidate(s.targetCandidate),
        previousLevel(s.previousLevel), searchLevel(s.searchLevel), shortHold(s.shortHold), longHold(s.longHold),
        sustainTarget(s.sustainTarget), slowLevel(s.slowLevel), slowGate(s.slowGate), attackGoal(s.attackGoal),
        attackPeak(s.attackPeak), attackNear(s.attackNear), quietGate(s.quietGate), quietLevel(s.quietLevel),
        attackStep(s.attackStep), searchReference(s.searchReference), settleCount(s.settleCount),
        attacking(s.attacking), searchAge(s.searchAge), shortHoldAge(s.shortHoldAge), longHoldAge(s.longHoldAge),
        ringPos(s.ringPos), gateHold(s.gateHold) {}

  void storeTo(LimiterEngine::State& s) const {
    s.envelope = envelope;
    s.envelopeTarget = envelopeTarget;
    s.targetCandidate = targetCandidate;
    s.previousLevel = previousLevel;
    s.searchLevel = searchLevel;
    s.shortHold = shortHold;
    s.longHold = longHold;
    s.sustainTarget = sustainTarget;
    s.slowLevel = slowLevel;
    s.slowGate = slowGate;
    s.attackGoal = attackGoal;
    s.attackPeak = attackPeak;
    s.attackNear = attackNear;
    s.quietGate = quietGate;
    s.quietLevel = quietLevel;
    s.attackStep = attackStep;
    s.searchReference = searchReference;
    s.settleCount = static_cast<std::uint8_t>(settleCount);
    s.attacking = attacking;
    s.searchAge = static_cast<std::uint16_t>(searchAge);  // ages never pass N + 1 or a hold length + 1
    s.shortHoldAge = static_cast<std::uint16_t>(shortHoldAge);
    s.longHoldAge = static_cast<std::uint16_t>(longHoldAge);
    s.ringPos = static_cast<std::uint16_t>(ringPos);
    s.gateHold = gateHold;
  }

  float envelope, envelopeTarget, targetCandidate, previousLevel, searchLevel, shortHold, longHold, sustainTarget,
      slowLevel, slowGate, attackGoal, attackPeak, attackNear, quietGate, quietLevel;
  double attackStep;
  LimiterEngine::SearchReference searchReference;
  unsigned settleCount;
  bool attacking;
  unsigned searchAge, shortHoldAge, longHoldAge, ringPos;
  std::int32_t gateHold;
};

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
  releaseCoef_ = snapDouble(std::pow(0.01, 100.65 / r), 1.0);  // 99 % of a gap in 9.94 ms
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
  State& s = state_;
  s.searchAge = 0;
  s.shortHoldAge = 0;
  s.longHoldAge = 0;
  s.cyclePeakAge = 0;

  s.searchReference = SearchReference::searchLevel;
  floorLevel_ = T;
  primeTrackers(s, T);

  s.cycleFloor = -1.0f;
  s.attackGoal = -1.0f;
  s.quietLevel = -1.0f;
  s.quietGate = -1.0f;
  s.peakMemory = 1.0f;
  s.cyclePeak = 1.0f;
  s.programPeak = 1.0f;
  s.attackNear = 32.0f;
  s.attackPeak = 32.0f;
  s.envelope = 32.0f;

  const float shadow = static_cast<float>(static_cast<double>(T) * kShadowFactor);
  floorShadow_ = shadow;
  sustainBase_ = shadow;
  s.attackStep = 1.0 / 65536.0;

  s.settleCount = 0;
  s.quietCountdown = 0;
  s.gateCountdown = 0;
  s.gateHold = 0;
  s.floorHold = 0;
  s.programPeakHold = 0;
  s.ringPos = 0;
  s.ispWritePos = 0;
  s.floorPending = false;
  s.programPeakArmed = false;
  s.attacking = false;

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
  return Settings{thresholdLevel_,  floorLevel_,     floorShadow_,   sustainBase_,     floorRest_,
                  sampleRate_,      outputGain_,     lookahead_,     lookaheadLast_,   shortHoldLength_,
                  longHoldLength_,  cyclePeakSpan_,  attackFraction_, releaseCoef_,    slowRiseCoef_,
                  slowFallCoef_,    ispEnabled_};
}

void LimiterEngine::process(const float* const* inputs, float* const* outputs, MeterLevel* inputPeak,
                            MeterLevel* envelopeLevel, MeterCounter* meterHoldoff, std::int32_t sampleFrames) {
  if (sampleFrames <= 0) return;

  State s = state_;
  // A plain load first: the locked exchange is only paid when a hand-over waits.
  if (primePending_.load(std::memory_order_relaxed) && primePending_.exchange(false, std::memory_order_acquire) &&
      s.shortHoldAge == 0) {
    primeTrackers(s, primeLevel_);
  }

  const unsigned N = lookahead_;
  float* const levelRing = levelRing_.data();
  float* const slowRing = slowLevelRing_.data();
  float* const delayL = delayLeft_.data();
  float* const delayR = delayRight_.data();
  float peakMeterL = inputPeak[0];
  float peakMeterR = inputPeak[1];

  // The block is worked in chunks: detection with interpolation and the
  // levels run over a whole chunk first (they depend on the input only), then
  // the gain computer sample by sample, then the delay line and the output
  // gain over the chunk. Each stage keeps the per-sample order of operations,
  // so the bits are those of a plain sample-by-sample loop.
  alignas(16) float chunkPeakL[kChunk], chunkPeakR[kChunk], chunkSampleL[kChunk], chunkSampleR[kChunk];
  alignas(16) float chunkEnvelope[kChunk], chunkOutL[kChunk], chunkOutR[kChunk], chunkLevel[kChunk];

  for (std::int32_t chunkStart = 0; chunkStart < sampleFrames; chunkStart += kChunk) {
    const int n = std::min<std::int32_t>(kChunk, sampleFrames - chunkStart);
    const float* inL = inputs[0] + chunkStart;
    const float* inR = inputs[1] + chunkStart;
    const bool isp = ispEnabled_.load();
    if (isp) {
      if (ispClearPending_.load(std::memory_order_relaxed)) clearIspHistories();
      detectInterSamplePeaks(s, inL, inR, n, chunkPeakL, chunkPeakR, chunkSampleL, chunkSampleR);
    }

    // Most chunks hold no absurd or non-finite peak: their levels and meter
    // peaks are worked out for the whole chunk at once, and the loop below
    // only reads them. A chunk with such a peak goes sample by sample.
    const float* peaksL = isp ? chunkPeakL : inL;
    const float* peaksR = isp ? chunkPeakR : inR;
    const bool clean = levelsOfChunk(peaksL, peaksR, n, chunkLevel, peakMeterL, peakMeterR);
    // What enters the delay line: the input, or with interpolation the input
    // six samples back; the loop silences the samples it finds unusable.
    const unsigned ringStart = s.ringPos;
    const float* enteringL = chunkSampleL;
    const float* enteringR = chunkSampleR;
    if (!isp) {
      if (clean) {
        enteringL = inL;
        enteringR = inR;
      } else {
        std::copy(inL, inL + n, chunkSampleL);
        std::copy(inR, inR + n, chunkSampleR);
      }
    }

    // One copy of the loop per kind of chunk, so the common one carries no
    // trace of the other.
    const auto gainComputer = [&](auto cleanChunk) {
      constexpr bool kClean = decltype(cleanChunk)::value;
      Hot h(s);
      for (int i = 0; i < n; ++i) {
        // Detection: the larger channel magnitude, including the estimated peaks
        // between this sample and the next when interpolation is on. Absurd or
        // non-finite input enters the delay line as silence.
        float level;
        float peakL = 0.0f, peakR = 0.0f;
        if constexpr (kClean) {
          level = chunkLevel[i];
        } else {
          peakL = std::fabs(peaksL[i]);
          peakR = std::fabs(peaksR[i]);
          const bool badL = !(peakL <= kAbsurdLevel);
          const bool badR = !(peakR <= kAbsurdLevel);
          if (badL || badR) {
            h.envelope = 32.0f;
            level = thresholdLevel_;
            chunkSampleL[i] = 0.0f;
            chunkSampleR[i] = 0.0f;
            if (badL) peakL = 32.0f;
            if (badR) peakR = 32.0f;
          } else {
            level = (peakL < peakR ? peakR : peakL) * kDetectorScale;
          }
        }

        // Ring read: the level of the sample that leaves the delay line now.
        const unsigned p = h.ringPos;
        const float leaving = levelRing[p];

        // Search trigger.
        ++h.searchAge;
        float reference;
        switch (h.searchReference) {
          case SearchReference::envelope: reference = h.envelope; break;
          case SearchReference::targetCandidate: reference = h.targetCandidate; break;
          default: reference = h.searchLevel; break;
        }
        if (h.searchAge > N || h.previousLevel > reference) {
          // Target search.
          const float E = h.envelope;
          const float P = h.previousLevel;
          h.searchAge = 0;
          h.searchLevel = P;
          if (E >= h.envelopeTarget) {
            bool updateCandidate;
            if (h.settleCount != 0) {
              if (leaving > E * 0.015625f) {
                h.settleCount = 0;
                updateCandidate = true;
              } else {
                updateCandidate = h.settleCount >= 20;
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
                h.attackPeak = static_cast<float>(static_cast<double>(h.attackPeak) * 1.0000001);
                h.attacking = false;
              }
              const float F = floorLevel_;
              const float S = slowRing[p];
              h.targetCandidate = static_cast<float>(static_cast<double>(F > S ? F : S) * 1.0009765625);
              h.searchReference = F > S ? SearchReference::envelope : SearchReference::targetCandidate;
              if (h.targetCandidate < 16.0f) h.targetCandidate = snapFloat(h.targetCandidate, 8.0f);
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
              const float raised = static_cast<float>(static_cast<double>(leaving) * 1.0000001676380634);
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

        // Peak holds.
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

        // Envelope.
        {
          const float T = h.envelopeTarget;
          const float E = h.envelope;
          if (T > E) {
            // Attack: a straight line that reaches T within N + 1 samples.
            if (T != h.attackGoal) {
              float step = static_cast<float>((static_cast<double>(T) - E) * attackFraction_);
              const float grid = T < 1e38f ? static_cast<float>(static_cast<double>(T) * 1.4142135623730951)
                                           : 1.4142135230892728e38f;
              step = snapFloat(step, grid);
              if (step > h.attackStep || h.attackStep >= E) h.attackStep = step;
              const float minimum = T * 4.76837158203125e-07f;  // 2^-21
              if (minimum > h.attackStep) h.attackStep = minimum;
              h.attackPeak = T;
              h.attackGoal = T;
              h.attackNear = T * 0.9949874f;
              h.quietLevel = T * 0.01023293f;
              h.quietGate = h.quietLevel;
            }
            h.envelope = static_cast<float>(static_cast<double>(E) + h.attackStep);
            if (h.envelope >= T) {
              h.attackStep = static_cast<float>(h.attackStep * 0.7483314773547883);
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
              h.envelope = static_cast<float>(static_cast<double>(E) * 1.0000001);
            }
          } else if (E > leaving) {
            const unsigned next = p + 1 == N ? 0 : p + 1;
            if (h.attackNear > E || leaving > levelRing[next]) {
              h.envelope = static_cast<float>((static_cast<double>(E) - leaving) * releaseCoef_ + leaving);
            }
          }
          // Brickwall: never below the level of the sample leaving now.
          if (leaving > h.envelope) {
            h.settleCount = 0;
            h.attacking = true;
            h.envelope = leaving;
            if (leaving > h.envelopeTarget) h.envelopeTarget = leaving;
            if (leaving > h.attackPeak) h.attackPeak = leaving;
            if (h.searchAge == 0 && leaving > h.targetCandidate) h.targetCandidate = leaving;
          }
        }

        // Level rings.
        h.previousLevel = level;
        levelRing[p] = level;

        // Slow level.
        {
          const float S = h.sustainTarget;
          const float L = h.slowLevel;
          if (S > L) {
            h.slowLevel = static_cast<float>((static_cast<double>(L) - S) * slowRiseCoef_ + S);
          } else if (level > h.slowGate) {
            h.slowLevel = static_cast<float>((static_cast<double>(L) - S) * slowFallCoef_ + S);
          } else {
            h.slowLevel = static_cast<float>(static_cast<double>(L) * 1.0000001);
            if (h.gateHold != 0) --h.gateHold;
          }
        }

        slowRing[p] = h.slowLevel;

        // Ring advance; the cycle adaptation runs before this sample's output.
        if (p > lookaheadLast_) {
          h.ringPos = 0;
          h.storeTo(s);
          adaptCycle(s, envelopeLevel, meterHoldoff);
          h = Hot(s);
        } else {
          h.ringPos = p + 1;
        }

        // The envelope that scales what leaves the delay line now.
        chunkEnvelope[i] = h.envelope;

        // Input meters.
        if constexpr (!kClean) {
          if (peakL > peakMeterL) peakMeterL = peakL;
          if (peakR > peakMeterR) peakMeterR = peakR;
        }
      }

      h.storeTo(s);
    };
    if (clean) {
      gainComputer(std::true_type{});
    } else {
      gainComputer(std::false_type{});
    }
    passThroughDelay(delayL, N, ringStart, enteringL, n, chunkOutL);
    passThroughDelay(delayR, N, ringStart, enteringR, n, chunkOutR);
    applyOutputGain(outputGain_, chunkEnvelope, chunkOutL, chunkOutR, n, outputs[0] + chunkStart,
                    outputs[1] + chunkStart);
  }

  if (peakMeterL > inputPeak[0]) inputPeak[0] = peakMeterL;
  if (peakMeterR > inputPeak[1]) inputPeak[1] = peakMeterR;
  state_ = s;
  if (s.shortHoldAge != 0 && !processedSinceReset_.load(std::memory_order_relaxed)) {
    processedSinceReset_.store(true, std::memory_order_relaxed);
  }
}

void LimiterEngine::adaptCycle(State& s, MeterLevel* envelopeLevel, MeterCounter* meterHoldoff) {
  const float hold = s.shortHold;
  const float slow = s.slowLevel;
  const float sustain = s.sustainTarget;
  const float threshold = thresholdLevel_;

  // Settling.
  if (s.settleCount >= 1 && s.settleCount <= 19) ++s.settleCount;

  // Quiet gate.
  if (hold > s.quietLevel) {
    s.quietCountdown = 100;
  } else if (s.quietCountdown != 0) {
    --s.quietCountdown;
  }
  if (s.quietCountdown == 0) {
    s.quietGate = -1.0f;
  } else if (s.floorHold > 15) {
    s.quietGate = s.quietLevel;
  }

  // Slow gate.
  const float G0 = s.gateLevel;
  if (hold > G0) {
    s.gateCountdown = 100;
  } else if (s.gateCountdown != 0) {
    --s.gateCountdown;
  }
  if (hold > slow) s.gateHold = static_cast<std::int32_t>(lookahead_) * 160;
  if (s.gateCountdown != 0 && s.gateHold != 0) {
    s.slowGate = G0;
  } else {
    s.slowGate = -1.0f;
    s.programPeakArmed = true;
  }

  // Sustain average.
  s.slowAverage = static_cast<float>((static_cast<double>(s.slowAverage) - sustain) * 0.9959786 + sustain);

  // Cycle peak.
  ++s.cyclePeakAge;
  if (s.cyclePeakAge > cyclePeakSpan_ || hold > s.cyclePeak) {
    s.cyclePeakAge = 1;
    s.cyclePeak = hold;
    s.cycleFloor = static_cast<float>(static_cast<double>(hold) * 0.35999999940395355);
    if (hold > slow) {
      if (s.peakMemory * 0.25f > hold) s.peakMemory = hold + hold;
      if (s.programPeakArmed && s.programPeakHold == 0) {
        s.programPeakArmed = false;
        if (s.programPeak * 0.25f > hold) s.programPeak = hold;
      }
    }
  }

  if (s.programPeakHold != 0) --s.programPeakHold;

  // Floor raise and gate levels.
  const float K = s.cycleFloor;
  if (slow > K) {
    if (sustain > slow) {
      const float M = K * kGateFactor;
      if (M > G0 || sustain > s.programPeak) {
        s.gateLevel = M;
        s.slowGate = M;
        s.programPeak = sustain;
        s.programPeakHold = 399;
      }
    }
    if (s.cyclePeak >= s.programPeak) {
      s.programPeak = s.cyclePeak;
    } else if (s.programPeakHold == 0) {
      s.programPeak = s.programPeak * 0.99991333f;
    }
    if (K > floorLevel_.load()) {
      if (s.slowAverage > slow * 0.36f) {
        s.floorPending = false;
        s.floorHold = 400;
        floorLevel_ = K;
        floorShadow_ = static_cast<float>(static_cast<double>(K) * kShadowFactor);
      } else {
        s.cyclePeakAge = cyclePeakSpan_;
      }
    }
  } else if (sustain > slow) {
    const float M = slow * kGateFactor;
    if (M > G0) {
      s.gateLevel = M;
      s.slowGate = M;
      const float lifted = static_cast<float>(static_cast<double>(slow) * 2.7777777777777777);
      if (lifted > s.programPeak) s.programPeak = lifted;
      s.programPeakHold = 399;
    }
  }

  // Floor decay, never below the threshold.
  float floor = floorLevel_;
  if (floor > s.cyclePeak && floor > slowLevelRing_[0] && floor > threshold) {
    if (hold > s.slowGate) {
      const float rest = floorRest_;
      const float R = rest < sustain ? sustain : rest;
      floor = static_cast<float>((static_cast<double>(floor) - R) * 0.996826171875 + R);
      if (threshold > floor) floor = threshold;
      floorLevel_ = floor;
    }
    if (s.floorHold == 0) {
      s.floorHold = 15;
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

  // Pending shadow.
  if (s.floorPending && hold > slow) {
    s.floorPending = false;
    floorShadow_ = static_cast<float>(static_cast<double>(floorLevel_.load()) * kShadowFactor);
  }

  // Peak memory.
  if (s.cyclePeak >= s.peakMemory) {
    s.peakMemory = s.cyclePeak;
  } else {
    s.peakMemory = s.peakMemory * 0.99956685f;
  }

  // Sustain base, by how close the slow level runs to the remembered peak.
  const float shadow = floorShadow_;
  if (sustain > shadow) {
    double f;
    if (slow > 0.953065f * s.peakMemory) {
      f = 0.9785720620877001;
    } else if (slow > 0.919945f * s.peakMemory) {
      f = 0.9170040432046712;
    } else if (slow > 0.8684975f * s.peakMemory) {
      f = 0.8408964152537145;
    } else {
      f = 0.7071067811865476;
    }
    const float previous = sustainBase_;
    float base = static_cast<float>(static_cast<double>(sustain) * f);
    if (shadow > base) {
      base = static_cast<float>(static_cast<double>(previous) * 0.9576032806985737);
      if (shadow > base) base = shadow;
    }
    sustainBase_ = base;
  }

  // Overload recovery: the slow level is stuck far above any recent peak.
  if (s.cyclePeakAge > 1 && slow > 8192.0f && slow * 6.103515625e-05f > s.cyclePeak) {
    s.slowLevel = slow * 0.75f;
    s.slowAverage = s.slowLevel;
    const float recovered = s.cycleFloor > threshold ? s.cycleFloor : threshold * 1.0625f;
    floorLevel_ = recovered;
    s.floorPending = false;
    s.quietLevel = 0.0f;
    floorShadow_ = static_cast<float>(static_cast<double>(recovered) * kShadowFactor);
  }

  // Meters.
  *envelopeLevel = s.longHold > s.envelope ? s.longHold : s.envelope;
  const std::uint16_t holdoff = *meterHoldoff;
  if (holdoff != 0) *meterHoldoff = static_cast<std::uint16_t>(holdoff - 1);
}
