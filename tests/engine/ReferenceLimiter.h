// Slow, plain reference model of the look-ahead limiter.
//
// This is written for clarity, not speed: every step of the per-sample loop
// and of the per-cycle adaptation is spelled out in the order in which the
// production engine must perform it, with every rounding written explicitly.
// The comparison tests run this model and the production engine on the same
// signals and require identical bits, so a shortcut here would defeat them.
//
// Precision conventions used throughout:
//   * "wide" expressions widen every float operand to double first and round
//     to float only when the result is stored into a float field;
//   * "narrow" expressions are plain float arithmetic with float constants;
//   * a snap adds a grid value, rounds to float, subtracts it again and rounds
//     to float; the intermediate floats are volatile so that no optimiser can
//     fold the add and the subtract away.
// The build must not contract multiplies and adds into FMA instructions.

#pragma once

#include "engine/LimiterEngine.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace reference {

class ReferenceLimiter : public LimiterEngine::State {
 public:
  // Which level the early-search trigger compares the previous level with.
  using SearchReference = LimiterEngine::SearchReference;

  // ---- Configuration and shared settings, initialised to the "built"
  // values; the per-sample and per-cycle state is the engine's own record
  // (the base class), so that the tests compare it as one value.
  float thresholdLevel = 32.0f;
  float floorLevel = 32.0f;
  float floorShadow = 14.58001f;
  float sustainBase = 14.58001f;
  float floorRest = 30.5f;
  float sampleRate = 0.0f;
  float outputGain = 31.906253814697266f;
  uint16_t lookahead = 0;
  uint16_t lookaheadLast = 0;
  uint16_t shortHoldLength = 0;
  uint16_t longHoldLength = 0;
  uint8_t cyclePeakSpan = 200;
  double attackFraction = 0.0;
  double releaseCoef = 1.0;
  double slowRiseCoef = 1.0;
  double slowFallCoef = 1.0;
  uint8_t ispEnabled = 0;
  std::vector<float> slowLevelRing;
  std::vector<float> levelRing;
  std::vector<float> delayLeft;
  std::vector<float> delayRight;
  std::vector<float> ispHistoryLeft;
  std::vector<float> ispHistoryRight;

  // The state the engine keeps between samples, as one value.
  const LimiterEngine::State& state() const { return *this; }

  // ---- Operations ----

  ReferenceLimiter() {
    setThreshold(0.0f);
    setSampleRate(44100.0f);
  }

  void setThreshold(float dB) {
    // Level of the setting on the engine's scale, kept on a 2^-15 grid.
    const double wideL = std::exp(double(dB) * 0.11512925464970228) * 31.999996185302734;
    const float L = snapWide(wideL, 256.0);

    // A level of zero or below would let the envelope reach zero and the
    // output divide by it; an overflowing or undefined level is just as
    // unusable. Such settings are ignored and the previous one stays.
    if (!std::isfinite(L) || !(L > 0.0f)) return;

    // Once audio has run, an unchanged level must not disturb anything.
    if (shortHoldAge != 0 && L == thresholdLevel) return;

    // The threshold, the floor at the threshold, its lower shadow and the
    // rest level toward which a raised floor decays.
    thresholdLevel = L;
    floorLevel = L;
    floorShadow = float(double(L) * 0.4556253375000625);
    floorRest = snapWide(double(L) * 0.953125, 256.0);

    if (shortHoldAge == 0) {
      // Nothing processed yet: every level tracker starts at the threshold.
      targetCandidate = L;
      shortHold = L;
      longHold = L;
      sustainTarget = L;
      envelopeTarget = L;
      searchLevel = L;
      previousLevel = L;
      slowAverage = L;
      slowLevel = L;
      sustainBase = floorShadow;
      gateLevel = L * 0.0404001f;
      slowGate = gateLevel;
    } else {
      // While running, only the sustain bound follows a higher shadow;
      // the envelope, holds and rings adapt on their own.
      if (floorShadow > sustainBase) sustainBase = floorShadow;
    }
  }

  void setOutput(float dB) {
    // The ceiling on the engine's scale.
    const double G = std::exp(double(dB) * 0.11512925464970228) * 31.999996185302734;

    // An undefined ceiling would turn every output sample into NaN; keep
    // the previous one instead.
    if (std::isnan(G)) return;

    // The ceiling lies on its own 23-bit grid and the snap below is
    // monotonic, so any G at or above it would end at the ceiling anyway.
    // Deciding that first keeps huge settings away from grids that double
    // cannot represent (an infinite grid would make the snap NaN). The
    // 0 dB setting lands here: its level is a hair above the ceiling.
    constexpr float ceiling = 31.906253814697266f;  // bit pattern 0x41FF4002
    if (G >= double(ceiling)) {
      outputGain = ceiling;
      return;
    }

    // Keep 23 significant bits: snap to the power of two just above G.
    int e = 0;
    (void)std::frexp(G, &e);
    outputGain = snapWide(G, std::ldexp(1.0, e));
    if (outputGain > ceiling) outputGain = ceiling;
  }

  void setSampleRate(float hz) {
    // Bring the rate into the working range; an undefined rate counts as
    // no rate at all and infinity as the highest rate.
    float rate;
    if (std::isnan(hz) || hz < 10.0f)
      rate = 44100.0f;
    else if (hz < 2000.0f)
      rate = 2000.0f;
    else
      rate = hz > 384000.0f ? 384000.0f : hz;

    // Same rate: keep lengths, coefficients and the audio in the rings.
    if (rate == sampleRate) return;

    sampleRate = rate;
    const double wideRate = double(rate);

    // Look-ahead of 1.25 ms, halves rounded down.
    lookahead = uint16_t(int32_t(wideRate * 0.00125 + 0.49999999));
    lookaheadLast = uint16_t(lookahead - 2);

    // Peak hold of 2.05 ms and the long hold six times as long.
    shortHoldLength = uint16_t(int32_t(wideRate * 0.00205 + 0.49999999));
    longHoldLength = uint16_t(6 * shortHoldLength);

    // Attack fraction and the three exponential rates, each on a coarse grid.
    attackFraction = snapWide(1.0 / (double(lookahead) + 1.0), 1.0);
    releaseCoef = snapWide(std::pow(0.01, 100.65 / wideRate), 1.0);
    slowFallCoef = snapWide(std::pow(0.01, 0.70525 / wideRate), 1.0);
    slowRiseCoef = snapWide(std::pow(0.01, 7.0525 / wideRate), 16.0);

    ringPos = 0;
    sizeBuffers();
  }

  void reset() {
    const float T = thresholdLevel;

    // Counters.
    searchAge = 0;
    shortHoldAge = 0;
    longHoldAge = 0;
    cyclePeakAge = 0;

    // Level trackers back to the threshold.
    searchReference = SearchReference::searchLevel;
    searchLevel = T;
    floorLevel = T;
    shortHold = T;
    longHold = T;
    sustainTarget = T;
    envelopeTarget = T;
    targetCandidate = T;
    previousLevel = T;
    slowLevel = T;
    slowAverage = T;

    // Markers and peak memories.
    cycleFloor = -1.0f;
    attackGoal = -1.0f;
    quietLevel = -1.0f;
    quietGate = -1.0f;
    peakMemory = 1.0f;
    cyclePeak = 1.0f;
    programPeak = 1.0f;
    attackNear = 32.0f;
    attackPeak = 32.0f;
    envelope = 32.0f;

    // Derived lower bounds and the remembered attack step.
    floorShadow = float(double(T) * 0.4556253375000625);
    sustainBase = floorShadow;
    gateLevel = T * 0.0404001f;
    slowGate = gateLevel;
    attackStep = 1.0 / 65536.0;

    // Cycle counters, positions and flags.
    settleCount = 0;
    quietCountdown = 0;
    gateCountdown = 0;
    gateHold = 0;
    floorHold = 0;
    programPeakHold = 0;
    ringPos = 0;
    ispWritePos = 0;
    floorPending = 0;
    programPeakArmed = 0;
    attacking = 0;

    // Silent delay lines, rings and histories.
    sizeBuffers();
  }

  void setIspEnabled(bool on) {
    // Switching on starts the estimator from silence; the positions stay.
    if (on && !ispEnabled) {
      ispHistoryLeft.assign(12, 0.0f);
      ispHistoryRight.assign(12, 0.0f);
    }
    ispEnabled = on ? 1 : 0;
  }

  uint16_t latency() const { return uint16_t(lookahead + 6 * ispEnabled); }

  void process(const float* const* inputs, float* const* outputs, float* inputPeak, float* envelopeLevel,
               uint16_t* meterHoldoff, int32_t sampleFrames) {
    for (int32_t i = 0; i < sampleFrames; ++i)
      processSample(inputs, outputs, inputPeak, envelopeLevel, meterHoldoff, i);
  }

 private:
  // Interpolation taps: row 0 weighs the newest sample, row 11 the oldest;
  // the columns estimate the signal 0.8, 0.6, 0.4 and 0.2 sample periods
  // after the sample six places older than the newest.
  static constexpr float ispTable[12][4] = {
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

  // Snap a float onto the grid of g, all in float.
  static float snapNarrow(float x, float g) {
    volatile float sum = x + g;
    volatile float back = sum - g;
    return back;
  }

  // Snap a value still held in double onto the grid of g: the sum is formed
  // in double and only then rounded to float.
  static float snapWide(double x, double g) {
    volatile float sum = float(x + g);
    volatile float back = float(double(sum) - g);
    return back;
  }

  void sizeBuffers() {
    slowLevelRing.assign(lookahead, 0.0f);
    levelRing.assign(lookahead, 0.0f);
    delayLeft.assign(lookahead, 0.0f);
    delayRight.assign(lookahead, 0.0f);
    ispHistoryLeft.assign(12, 0.0f);
    ispHistoryRight.assign(12, 0.0f);
  }

  float searchReferenceValue() const {
    switch (searchReference) {
      case SearchReference::envelope: return envelope;
      case SearchReference::targetCandidate: return targetCandidate;
      case SearchReference::searchLevel: break;
    }
    return searchLevel;
  }

  // Largest magnitude among a channel's delayed sample and the four phases
  // interpolated after it. Phases that are not finite are skipped, so a
  // single bad sample only marks itself, not the eleven around it.
  static float interSamplePeak(const std::vector<float>& history, uint8_t w, uint8_t r) {
    float peak = std::fabs(history[r]);
    for (int phase = 0; phase < 4; ++phase) {
      float y = 0.0f;
      for (int k = 0; k < 12; ++k) y = y + ispTable[k][phase] * history[size_t((w + 12 - k) % 12)];
      if (!std::isfinite(y)) continue;
      const float magnitude = std::fabs(y);
      if (magnitude > peak) peak = magnitude;
    }
    return peak;
  }

  void processSample(const float* const* inputs, float* const* outputs, float* inputPeak, float* envelopeLevel,
                     uint16_t* meterHoldoff, int32_t i) {
    // Input.
    const float xL = inputs[0][i];
    const float xR = inputs[1][i];

    // Detection.
    float peakLeft;
    float peakRight;
    float sampleLeft;
    float sampleRight;
    if (!ispEnabled) {
      peakLeft = std::fabs(xL);
      peakRight = std::fabs(xR);
      sampleLeft = xL;
      sampleRight = xR;
    } else {
      const uint8_t w = ispWritePos;
      ispHistoryLeft[w] = xL;
      ispHistoryRight[w] = xR;
      ispReadPos = uint8_t(w <= 5 ? w + 6 : w - 6);
      peakLeft = interSamplePeak(ispHistoryLeft, w, ispReadPos);
      peakRight = interSamplePeak(ispHistoryRight, w, ispReadPos);
      // The audio path runs six samples late so that the peaks between
      // a sample and its successor are known when it is detected.
      sampleLeft = ispHistoryLeft[ispReadPos];
      sampleRight = ispHistoryRight[ispReadPos];
      ispWritePos = uint8_t(w > 10 ? 0 : w + 1);
    }

    // Level, or recovery from invalid input.
    float level;
    const bool badLeft = peakLeft > 1e37f || std::isnan(peakLeft);
    const bool badRight = peakRight > 1e37f || std::isnan(peakRight);
    if (badLeft || badRight) {
      envelope = 32.0f;
      level = thresholdLevel;
      sampleLeft = 0.0f;
      sampleRight = 0.0f;
      if (badLeft) peakLeft = 32.0f;
      if (badRight) peakRight = 32.0f;
    } else {
      level = (peakLeft > peakRight ? peakLeft : peakRight) * 31.999996185302734f;
    }

    // Ring read: what leaves the delay line now.
    const uint16_t p = ringPos;
    const float leaving = levelRing[p];
    const float outLeft = delayLeft[p];
    const float outRight = delayRight[p];

    // Search trigger.
    ++searchAge;
    if (searchAge > lookahead || previousLevel > searchReferenceValue()) targetSearch(p, level, leaving);

    // Short peak hold, and the sustain target it sets.
    ++shortHoldAge;
    if (shortHoldAge > shortHoldLength || level > shortHold) {
      shortHoldAge = 1;
      shortHold = level;
      sustainTarget = level > sustainBase ? level : sustainBase;
      if (longHold > sustainTarget && longHold <= slowLevel) sustainTarget = longHold;
    }

    // Long peak hold.
    ++longHoldAge;
    if (longHoldAge > longHoldLength || level >= longHold) {
      longHoldAge = shortHoldAge;
      longHold = shortHold;
    }

    // Envelope.
    updateEnvelope(p, leaving);

    // Level rings.
    previousLevel = level;
    levelRing[p] = level;

    // Slow level.
    {
      const double S = double(sustainTarget);
      const double L = double(slowLevel);
      if (sustainTarget > slowLevel) {
        slowLevel = float((L - S) * slowRiseCoef + S);
      } else if (level > slowGate) {
        slowLevel = float((L - S) * slowFallCoef + S);
      } else {
        // Quiet: the slow level creeps up while the gate holds it.
        slowLevel = float(L * 1.0000001);
        if (gateHold != 0) --gateHold;
      }
    }

    // Delay line.
    slowLevelRing[p] = slowLevel;
    delayLeft[p] = sampleLeft;
    delayRight[p] = sampleRight;

    // Ring advance; a wrap ends a look-ahead cycle.
    if (p > lookaheadLast) {
      ringPos = 0;
      adaptCycle(envelopeLevel, meterHoldoff);
    } else {
      ringPos = uint16_t(p + 1);
    }

    // Output.
    const float g = float(1.0 / double(envelope));
    outputs[0][i] = outputGain * (g * outLeft);
    outputs[1][i] = outputGain * (g * outRight);

    // Input meters.
    if (peakLeft > inputPeak[0]) inputPeak[0] = peakLeft;
    if (peakRight > inputPeak[1]) inputPeak[1] = peakRight;
  }

  void targetSearch(uint16_t p, float level, float leaving) {
    const float E = envelope;
    const float P = previousLevel;

    // Restart the search clock and remember the level that started it.
    searchAge = 0;
    searchLevel = P;

    // Settling: once the envelope is not rising, decide whether to lower
    // the candidate toward the floor or the delayed slow level.
    if (E >= envelopeTarget) {
      bool candidateUpdate;
      if (settleCount != 0) {
        if (leaving > E * 0.015625f) {
          settleCount = 0;
          candidateUpdate = true;
        } else {
          candidateUpdate = !(settleCount < 20);
        }
      } else {
        if (!attacking) {
          settleCount = 1;
        } else {
          searchReference = SearchReference::searchLevel;
          if (P > level || (P == level && E > shortHold)) settleCount = 1;
        }
        candidateUpdate = false;
      }

      if (candidateUpdate) {
        if (attacking && E > targetCandidate) {
          attackPeak = float(double(attackPeak) * 1.0000001);
          attacking = 0;
        }
        const float F = floorLevel;
        const float S = slowLevelRing[p];
        targetCandidate = float(double(F > S ? F : S) * 1.0009765625);
        searchReference = F > S ? SearchReference::envelope : SearchReference::targetCandidate;
        if (targetCandidate < 16.0f) targetCandidate = snapNarrow(targetCandidate, 8.0f);
      }
    }

    // A level that entered the window above the candidate becomes the candidate.
    if (P > targetCandidate) {
      targetCandidate = P;
      if (P >= envelopeTarget || envelopeTarget == E || E > shortHold) {
        envelopeTarget = P;
        searchReference = SearchReference::searchLevel;
      }
      if (P > E) {
        settleCount = 0;
        attacking = 1;
      }
    }

    // The leaving level above the candidate.
    if (leaving > targetCandidate) {
      if (E >= leaving) {
        searchReference = SearchReference::searchLevel;
        const double raised = double(leaving) * 1.0000001676380634;
        targetCandidate = raised < double(E) ? float(raised) : E;
        if (envelopeTarget == E) envelopeTarget = targetCandidate;
        if (targetCandidate > attackPeak) attackPeak = targetCandidate;
      } else {
        attackGoal = -1.0f;
      }
    }

    // Anything above the envelope keeps the search on the plain level.
    if (P > E) searchReference = SearchReference::searchLevel;

    // Hand the candidate to the envelope.
    if (E > shortHold || targetCandidate > envelopeTarget) envelopeTarget = targetCandidate;
  }

  void updateEnvelope(uint16_t p, float leaving) {
    const float T = envelopeTarget;
    const float E = envelope;

    if (T > E) {
      // Attack: a straight line toward the target.
      if (T != attackGoal) {
        const float s = float((double(T) - double(E)) * attackFraction);
        const float g = T < 1e38f ? float(double(T) * 1.4142135623730951) : 1.4142135230892728e38f;
        const float snapped = snapNarrow(s, g);
        if (snapped > attackStep || attackStep >= E) attackStep = snapped;
        const float minimumStep = T * 4.76837158203125e-07f;  // 2^-21
        if (minimumStep > attackStep) attackStep = minimumStep;
        attackPeak = T;
        attackGoal = T;
        attackNear = T * 0.9949874f;
        quietLevel = T * 0.01023293f;
        quietGate = quietLevel;
      }
      envelope = float(double(E) + attackStep);
      if (envelope >= T) {
        // Arrived: shrink the remembered step for the next rise.
        attackStep = double(float(attackStep * 0.7483314773547883));
        attackGoal = -1.0f;
        attackPeak = T;
        envelope = T;
      }
      settleCount = 0;
      attacking = 1;
    } else if (T > leaving) {
      // Release toward the target, or creep while the signal is quiet.
      if (leaving > quietGate)
        envelope = float((double(E) - double(T)) * releaseCoef + double(T));
      else if (attackPeak > E)
        envelope = float(double(E) * 1.0000001);
    } else if (E > leaving) {
      // Release toward the leaving level.
      const uint16_t next = uint16_t(p + 1 == lookahead ? 0 : p + 1);
      if (attackNear > E || leaving > levelRing[next])
        envelope = float((double(E) - double(leaving)) * releaseCoef + double(leaving));
    }

    // Brickwall: never below the level of the sample that leaves now.
    if (leaving > envelope) {
      settleCount = 0;
      attacking = 1;
      envelope = leaving;
      if (leaving > envelopeTarget) envelopeTarget = leaving;
      if (leaving > attackPeak) attackPeak = leaving;
      if (searchAge == 0 && leaving > targetCandidate) targetCandidate = leaving;
    }
  }

  void adaptCycle(float* envelopeLevel, uint16_t* meterHoldoff) {
    // The short hold, slow level and sustain target as the cycle begins.
    const float hold = shortHold;
    const float slow = slowLevel;
    const float sustain = sustainTarget;

    // Settling count.
    if (settleCount >= 1 && settleCount <= 19) ++settleCount;

    // Quiet gate.
    if (hold > quietLevel)
      quietCountdown = 100;
    else if (quietCountdown != 0)
      --quietCountdown;
    if (quietCountdown == 0)
      quietGate = -1.0f;
    else if (floorHold > 15)
      quietGate = quietLevel;

    // Slow gate.
    const float G0 = gateLevel;
    if (hold > G0)
      gateCountdown = 100;
    else if (gateCountdown != 0)
      --gateCountdown;
    if (hold > slow) gateHold = int32_t(lookahead) * 160;
    if (gateCountdown != 0 && gateHold != 0) {
      slowGate = G0;
    } else {
      slowGate = -1.0f;
      programPeakArmed = 1;
    }

    // Sustain average.
    slowAverage = float((double(slowAverage) - double(sustain)) * 0.9959786 + double(sustain));

    // Cycle peak.
    ++cyclePeakAge;
    if (cyclePeakAge > cyclePeakSpan || hold > cyclePeak) {
      cyclePeakAge = 1;
      cyclePeak = hold;
      cycleFloor = float(double(hold) * 0.35999999940395355);
      if (hold > slow) {
        if (peakMemory * 0.25f > hold) peakMemory = hold + hold;
        if (programPeakArmed && programPeakHold == 0) {
          programPeakArmed = 0;
          if (programPeak * 0.25f > hold) programPeak = hold;
        }
      }
    }

    // Program peak hold countdown.
    if (programPeakHold != 0) --programPeakHold;

    // Floor raise and gate levels.
    const float K = cycleFloor;
    if (slow > K) {
      if (sustain > slow) {
        const float M = K * 0.0404001f;
        if (M > G0 || sustain > programPeak) {
          gateLevel = M;
          slowGate = M;
          programPeak = sustain;
          programPeakHold = 399;
        }
      }
      if (cyclePeak >= programPeak)
        programPeak = cyclePeak;
      else if (programPeakHold == 0)
        programPeak = programPeak * 0.99991333f;
      if (K > floorLevel) {
        if (slowAverage > slow * 0.36f) {
          floorPending = 0;
          floorHold = 400;
          floorLevel = K;
          floorShadow = float(double(K) * 0.4556253375000625);
        } else {
          // Too brief to raise the floor: restart the cycle peak next cycle.
          cyclePeakAge = cyclePeakSpan;
        }
      }
    } else if (sustain > slow) {
      const float M = slow * 0.0404001f;
      if (M > G0) {
        gateLevel = M;
        slowGate = M;
        const float scaled = float(double(slow) * 2.7777777777777777);
        if (scaled > programPeak) programPeak = scaled;
        programPeakHold = 399;
      }
    }

    // Floor decay.
    if (floorLevel > cyclePeak && floorLevel > slowLevelRing[0] && floorLevel > thresholdLevel) {
      if (hold > slowGate) {
        const float R = floorRest > sustain ? floorRest : sustain;
        floorLevel = float((double(floorLevel) - double(R)) * 0.996826171875 + double(R));
      }
      if (thresholdLevel > floorLevel) floorLevel = thresholdLevel;
      if (floorHold == 0) {
        floorHold = 15;
        floorPending = 0;
        floorShadow = float(double(floorLevel) * 0.4556253375000625);
        if (quietLevel > hold) {
          quietCountdown = 0;
          quietGate = -1.0f;
        }
      } else {
        --floorHold;
        floorPending = 1;
      }
    }

    // Pending shadow refresh.
    if (floorPending && hold > slow) {
      floorPending = 0;
      floorShadow = float(double(floorLevel) * 0.4556253375000625);
    }

    // Peak memory.
    if (cyclePeak >= peakMemory)
      peakMemory = cyclePeak;
    else
      peakMemory = peakMemory * 0.99956685f;

    // Sustain base: a fraction of the sustain target that depends on how
    // close the slow level sits to the remembered peak.
    if (sustain > floorShadow) {
      double f;
      if (slow > 0.953065f * peakMemory)
        f = 0.9785720620877001;
      else if (slow > 0.919945f * peakMemory)
        f = 0.9170040432046712;
      else if (slow > 0.8684975f * peakMemory)
        f = 0.8408964152537145;
      else
        f = 0.7071067811865476;
      const float previousBase = sustainBase;
      sustainBase = float(double(sustain) * f);
      if (floorShadow > sustainBase) {
        sustainBase = float(double(previousBase) * 0.9576032806985737);
        if (floorShadow > sustainBase) sustainBase = floorShadow;
      }
    }

    // Overload recovery.
    if (cyclePeakAge > 1 && slow > 8192.0f && slow * 6.103515625e-05f > cyclePeak) {
      slowLevel = slow * 0.75f;
      slowAverage = slowLevel;
      floorLevel = cycleFloor > thresholdLevel ? cycleFloor : thresholdLevel * 1.0625f;
      floorPending = 0;
      quietLevel = 0.0f;
      floorShadow = float(double(floorLevel) * 0.4556253375000625);
    }

    // Meters.
    *envelopeLevel = longHold > envelope ? longHold : envelope;
    if (*meterHoldoff != 0) --*meterHoldoff;
  }
};

}  // namespace reference
