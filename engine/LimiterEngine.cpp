#include "engine/LimiterEngine.h"

#include <algorithm>
#include <cmath>

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

// Interpolation taps: row k weighs the sample k places older than the newest;
// the four columns estimate the signal 0.8, 0.6, 0.4 and 0.2 sample periods
// after the sample six places older (five-times oversampling of that interval).
constexpr float kIspTaps[12][4] = {
    {-0.0220665932f, -0.0321273804f, -0.0291595459f, -0.0165920258f},
    {0.0420571566f, 0.0604727268f, 0.0530772209f, 0.0285004377f},
    {-0.0722943544f, -0.10719502f, -0.0968155861f, -0.0532443523f},
    {0.109519362f, 0.165168524f, 0.152565241f, 0.0861662626f},
    {-0.178005934f, -0.256623149f, -0.23108232f, -0.129134774f},
    {0.953251123f, 0.787033796f, 0.534685493f, 0.251843691f},
    {0.251843691f, 0.534685493f, 0.787033796f, 0.953251123f},
    {-0.129134774f, -0.23108232f, -0.256623149f, -0.178005934f},
    {0.0861662626f, 0.152565241f, 0.165168524f, 0.109519362f},
    {-0.0532443523f, -0.0968155861f, -0.10719502f, -0.0722943544f},
    {0.0285004377f, 0.0530772209f, 0.0604727268f, 0.0420571566f},
    {-0.0165920258f, -0.0291595459f, -0.0321273804f, -0.0220665932f},
};

// Largest magnitude of the sample itself and of the four interpolated points
// that follow it. A point that is not finite (an infinite or NaN sample is in
// the history) is left out, so only the offending sample itself is silenced.
inline float interSamplePeak(const float* history, unsigned w, unsigned r) {
  float peak = std::fabs(history[r]);
  for (int p = 0; p < 4; ++p) {
    float y = 0.0f;
    for (unsigned k = 0; k < 12; ++k) y += kIspTaps[k][p] * history[(w + 12 - k) % 12];
    const float m = std::fabs(y);
    if (std::isfinite(y) && m > peak) peak = m;
  }
  return peak;
}

}  // namespace

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

void LimiterEngine::reset() {
  const float T = thresholdLevel_;
  State& s = state_;
  s.searchAge = 0;
  s.shortHoldAge = 0;
  s.longHoldAge = 0;
  s.cyclePeakAge = 0;

  s.searchReference = SearchReference::searchLevel;
  s.searchLevel = T;
  floorLevel_ = T;
  s.shortHold = T;
  s.longHold = T;
  s.sustainTarget = T;
  s.envelopeTarget = T;
  s.targetCandidate = T;
  s.previousLevel = T;
  s.slowLevel = T;
  s.slowAverage = T;

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
  s.gateLevel = T * kGateFactor;
  s.slowGate = s.gateLevel;
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

void LimiterEngine::applyPendingPrime(State& s) const {
  const float L = primeLevel_;
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
  if (primePending_.load(std::memory_order_acquire) && s.shortHoldAge == 0) applyPendingPrime(s);
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
  if (primePending_.exchange(false, std::memory_order_acquire) && s.shortHoldAge == 0) applyPendingPrime(s);

  const float* inL = inputs[0];
  const float* inR = inputs[1];
  float* outLeftBuf = outputs[0];
  float* outRightBuf = outputs[1];
  const unsigned N = lookahead_;
  float* const levelRing = levelRing_.data();
  float* const slowRing = slowLevelRing_.data();
  float* const delayL = delayLeft_.data();
  float* const delayR = delayRight_.data();
  float peakMeterL = inputPeak[0];
  float peakMeterR = inputPeak[1];

  for (std::int32_t i = 0; i < sampleFrames; ++i) {
    // Input: read both channels before anything is written, so in-place works.
    const float xL = inL[i];
    const float xR = inR[i];

    // Detection.
    float peakL, peakR, sampleL, sampleR;
    if (ispEnabled_.load()) {
      if (ispClearPending_.load(std::memory_order_relaxed)) clearIspHistories();
      const unsigned w = s.ispWritePos;
      ispHistoryLeft_[w] = xL;
      ispHistoryRight_[w] = xR;
      const unsigned r = w <= 5 ? w + 6 : w - 6;
      s.ispReadPos = static_cast<std::uint8_t>(r);
      peakL = interSamplePeak(ispHistoryLeft_, w, r);
      peakR = interSamplePeak(ispHistoryRight_, w, r);
      sampleL = ispHistoryLeft_[r];
      sampleR = ispHistoryRight_[r];
      s.ispWritePos = static_cast<std::uint8_t>(w > 10 ? 0 : w + 1);
    } else {
      peakL = std::fabs(xL);
      peakR = std::fabs(xR);
      sampleL = xL;
      sampleR = xR;
    }

    // Level; absurd or non-finite input enters the delay line as silence.
    float level;
    const bool badL = !(peakL <= kAbsurdLevel);
    const bool badR = !(peakR <= kAbsurdLevel);
    if (badL || badR) {
      s.envelope = 32.0f;
      level = thresholdLevel_;
      sampleL = 0.0f;
      sampleR = 0.0f;
      if (badL) peakL = 32.0f;
      if (badR) peakR = 32.0f;
    } else {
      level = (peakL < peakR ? peakR : peakL) * kDetectorScale;
    }

    // Ring read: the sample that leaves the delay line now.
    const unsigned p = s.ringPos;
    const float leaving = levelRing[p];
    const float outL = delayL[p];
    const float outR = delayR[p];

    // Search trigger.
    ++s.searchAge;
    float reference;
    switch (s.searchReference) {
      case SearchReference::envelope: reference = s.envelope; break;
      case SearchReference::targetCandidate: reference = s.targetCandidate; break;
      default: reference = s.searchLevel; break;
    }
    if (s.searchAge > N || s.previousLevel > reference) {
      // Target search.
      const float E = s.envelope;
      const float P = s.previousLevel;
      s.searchAge = 0;
      s.searchLevel = P;
      if (E >= s.envelopeTarget) {
        bool updateCandidate;
        if (s.settleCount != 0) {
          if (leaving > E * 0.015625f) {
            s.settleCount = 0;
            updateCandidate = true;
          } else {
            updateCandidate = s.settleCount >= 20;
          }
        } else {
          if (!s.attacking) {
            s.settleCount = 1;
          } else {
            s.searchReference = SearchReference::searchLevel;
            if (P > level || (P == level && E > s.shortHold)) s.settleCount = 1;
          }
          updateCandidate = false;
        }
        if (updateCandidate) {
          if (s.attacking && E > s.targetCandidate) {
            s.attackPeak = static_cast<float>(static_cast<double>(s.attackPeak) * 1.0000001);
            s.attacking = false;
          }
          const float F = floorLevel_;
          const float S = slowRing[p];
          s.targetCandidate = static_cast<float>(static_cast<double>(F > S ? F : S) * 1.0009765625);
          s.searchReference = F > S ? SearchReference::envelope : SearchReference::targetCandidate;
          if (s.targetCandidate < 16.0f) s.targetCandidate = snapFloat(s.targetCandidate, 8.0f);
        }
      }
      if (P > s.targetCandidate) {
        s.targetCandidate = P;
        if (P >= s.envelopeTarget || s.envelopeTarget == E || E > s.shortHold) {
          s.envelopeTarget = P;
          s.searchReference = SearchReference::searchLevel;
        }
        if (P > E) {
          s.settleCount = 0;
          s.attacking = true;
        }
      }
      if (leaving > s.targetCandidate) {
        if (E >= leaving) {
          s.searchReference = SearchReference::searchLevel;
          const float raised = static_cast<float>(static_cast<double>(leaving) * 1.0000001676380634);
          s.targetCandidate = raised < E ? raised : E;
          if (s.envelopeTarget == E) s.envelopeTarget = s.targetCandidate;
          if (s.targetCandidate > s.attackPeak) s.attackPeak = s.targetCandidate;
        } else {
          s.attackGoal = -1.0f;
        }
      }
      if (P > E) s.searchReference = SearchReference::searchLevel;
      if (E > s.shortHold || s.targetCandidate > s.envelopeTarget) s.envelopeTarget = s.targetCandidate;
    }

    // Peak holds.
    ++s.shortHoldAge;
    if (s.shortHoldAge > shortHoldLength_ || level > s.shortHold) {
      s.shortHoldAge = 1;
      s.shortHold = level;
      const float base = sustainBase_;
      s.sustainTarget = level < base ? base : level;
      if (s.longHold > s.sustainTarget && s.longHold <= s.slowLevel) s.sustainTarget = s.longHold;
    }
    ++s.longHoldAge;
    if (s.longHoldAge > longHoldLength_ || level >= s.longHold) {
      s.longHoldAge = s.shortHoldAge;
      s.longHold = s.shortHold;
    }

    // Envelope.
    {
      const float T = s.envelopeTarget;
      const float E = s.envelope;
      if (T > E) {
        // Attack: a straight line that reaches T within N + 1 samples.
        if (T != s.attackGoal) {
          float step = static_cast<float>((static_cast<double>(T) - E) * attackFraction_);
          const float grid = T < 1e38f ? static_cast<float>(static_cast<double>(T) * 1.4142135623730951)
                                       : 1.4142135230892728e38f;
          step = snapFloat(step, grid);
          if (step > s.attackStep || s.attackStep >= E) s.attackStep = step;
          const float minimum = T * 4.76837158203125e-07f;  // 2^-21
          if (minimum > s.attackStep) s.attackStep = minimum;
          s.attackPeak = T;
          s.attackGoal = T;
          s.attackNear = T * 0.9949874f;
          s.quietLevel = T * 0.01023293f;
          s.quietGate = s.quietLevel;
        }
        s.envelope = static_cast<float>(static_cast<double>(E) + s.attackStep);
        if (s.envelope >= T) {
          s.attackStep = static_cast<float>(s.attackStep * 0.7483314773547883);
          s.attackGoal = -1.0f;
          s.attackPeak = T;
          s.envelope = T;
        }
        s.settleCount = 0;
        s.attacking = true;
      } else if (T > leaving) {
        if (leaving > s.quietGate) {
          s.envelope = static_cast<float>((static_cast<double>(E) - T) * releaseCoef_ + T);
        } else if (s.attackPeak > E) {
          // Quiet: creep up instead of releasing.
          s.envelope = static_cast<float>(static_cast<double>(E) * 1.0000001);
        }
      } else if (E > leaving) {
        const unsigned next = p + 1 == N ? 0 : p + 1;
        if (s.attackNear > E || leaving > levelRing[next]) {
          s.envelope = static_cast<float>((static_cast<double>(E) - leaving) * releaseCoef_ + leaving);
        }
      }
      // Brickwall: never below the level of the sample leaving now.
      if (leaving > s.envelope) {
        s.settleCount = 0;
        s.attacking = true;
        s.envelope = leaving;
        if (leaving > s.envelopeTarget) s.envelopeTarget = leaving;
        if (leaving > s.attackPeak) s.attackPeak = leaving;
        if (s.searchAge == 0 && leaving > s.targetCandidate) s.targetCandidate = leaving;
      }
    }

    // Level rings.
    s.previousLevel = level;
    levelRing[p] = level;

    // Slow level.
    {
      const float S = s.sustainTarget;
      const float L = s.slowLevel;
      if (S > L) {
        s.slowLevel = static_cast<float>((static_cast<double>(L) - S) * slowRiseCoef_ + S);
      } else if (level > s.slowGate) {
        s.slowLevel = static_cast<float>((static_cast<double>(L) - S) * slowFallCoef_ + S);
      } else {
        s.slowLevel = static_cast<float>(static_cast<double>(L) * 1.0000001);
        if (s.gateHold != 0) --s.gateHold;
      }
    }

    // Delay line.
    slowRing[p] = s.slowLevel;
    delayL[p] = sampleL;
    delayR[p] = sampleR;

    // Ring advance; the cycle adaptation runs before this sample's output.
    if (p > lookaheadLast_) {
      s.ringPos = 0;
      adaptCycle(s, envelopeLevel, meterHoldoff);
    } else {
      s.ringPos = static_cast<std::uint16_t>(p + 1);
    }

    // Output.
    const float g = static_cast<float>(1.0 / static_cast<double>(s.envelope));
    const float gain = outputGain_;
    outLeftBuf[i] = gain * (g * outL);
    outRightBuf[i] = gain * (g * outR);

    // Input meters.
    if (peakL > peakMeterL) peakMeterL = peakL;
    if (peakR > peakMeterR) peakMeterR = peakR;
  }

  if (peakMeterL > inputPeak[0]) inputPeak[0] = peakMeterL;
  if (peakMeterR > inputPeak[1]) inputPeak[1] = peakMeterR;
  state_ = s;
  if (s.shortHoldAge != 0) processedSinceReset_.store(true, std::memory_order_relaxed);
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
