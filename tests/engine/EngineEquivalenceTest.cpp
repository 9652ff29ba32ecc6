// The production engine against the plain reference transcription: the same
// operations on the same material must give the same bits, sample for sample,
// and the same internal state after every step.

#include "ReferenceLimiter.h"
#include "engine/LimiterEngine.h"
#include "support/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

using testsignals::bits;
using testsignals::Random;
using testsignals::Stereo;

namespace {

// Empty when the two states hold the same bits in every field, otherwise the
// byte offset of the first difference. Padding is cleared first, so only the
// fields take part.
std::string stateDifference(LimiterEngine::State a, LimiterEngine::State b) {
  __builtin_clear_padding(&a);
  __builtin_clear_padding(&b);
  unsigned char bytesA[sizeof a], bytesB[sizeof b];
  std::memcpy(bytesA, &a, sizeof a);
  std::memcpy(bytesB, &b, sizeof b);
  for (std::size_t i = 0; i < sizeof a; ++i) {
    if (bytesA[i] != bytesB[i]) return "internal state differs at byte " + std::to_string(i);
  }
  return {};
}

struct Pair {
  LimiterEngine engine;
  reference::ReferenceLimiter model;
  LimiterEngine::MeterLevel peak[2] = {0.0009765625f, 0.0009765625f};
  LimiterEngine::MeterLevel envelope{1.0f};
  LimiterEngine::MeterCounter holdoff{0};
  float modelPeak[2] = {0.0009765625f, 0.0009765625f};
  float modelEnvelope = 1.0f;
  std::uint16_t modelHoldoff = 0;
  std::size_t samples = 0;

  void threshold(float dB) { engine.setThreshold(dB), model.setThreshold(dB); }
  void output(float dB) { engine.setOutput(dB), model.setOutput(dB); }
  void rate(float hz) { engine.setSampleRate(hz), model.setSampleRate(hz); }
  void isp(bool on) { engine.setIspEnabled(on), model.setIspEnabled(on); }
  void reset() { engine.reset(), model.reset(); }
  void meterHandOver() {
    // What the editor does: take the peaks, reset them, hold off the next hand-over.
    peak[0] = 0.0009765625f, peak[1] = 0.0009765625f;
    modelPeak[0] = modelPeak[1] = 0.0009765625f;
    holdoff = static_cast<std::uint16_t>(holdoff + 28);
    modelHoldoff = static_cast<std::uint16_t>(modelHoldoff + 28);
  }

  // Processes frames [from, from + count) of the material; answers an empty
  // string or a description of the first difference.
  std::string process(const Stereo& in, std::size_t from, int count) {
    std::vector<float> outL(count), outR(count), refL(count), refR(count);
    const float* inputs[2] = {in.left.data() + from, in.right.data() + from};
    float* outputs[2] = {outL.data(), outR.data()};
    float* refOutputs[2] = {refL.data(), refR.data()};
    engine.process(inputs, outputs, peak, &envelope, &holdoff, count);
    model.process(inputs, refOutputs, modelPeak, &modelEnvelope, &modelHoldoff, count);
    for (int i = 0; i < count; ++i) {
      if (bits(outL[i]) != bits(refL[i]) || bits(outR[i]) != bits(refR[i])) {
        return "output differs at sample " + std::to_string(samples + i) + ": " + std::to_string(outL[i]) + "/" +
               std::to_string(outR[i]) + " vs reference " + std::to_string(refL[i]) + "/" + std::to_string(refR[i]);
      }
    }
    samples += static_cast<std::size_t>(count);
    if (bits(peak[0]) != bits(modelPeak[0]) || bits(peak[1]) != bits(modelPeak[1])) return "input meters differ";
    if (bits(envelope) != bits(modelEnvelope)) return "envelope meter differs";
    if (holdoff != modelHoldoff) return "hold-off counter differs";
    return compareState();
  }

  std::string compareState() const {
    const LimiterEngine::Settings c = engine.settings();
    const reference::ReferenceLimiter& m = model;
#define SAME_FLOAT(a, b) \
  if (bits(a) != bits(b)) return std::string(#b " differs: ") + std::to_string(a) + " vs " + std::to_string(b)
#define SAME(a, b) \
  if ((a) != (b)) return std::string(#b " differs: ") + std::to_string(a) + " vs " + std::to_string(b)
    SAME_FLOAT(c.thresholdLevel, m.thresholdLevel);
    SAME_FLOAT(c.floorLevel, m.floorLevel);
    SAME_FLOAT(c.floorShadow, m.floorShadow);
    SAME_FLOAT(c.sustainBase, m.sustainBase);
    SAME_FLOAT(c.floorRest, m.floorRest);
    SAME_FLOAT(c.sampleRate, m.sampleRate);
    SAME_FLOAT(c.outputGain, m.outputGain);
    SAME(c.lookahead, m.lookahead);
    SAME(c.shortHoldLength, m.shortHoldLength);
    SAME(c.longHoldLength, m.longHoldLength);
    SAME(c.attackFraction, m.attackFraction);
    SAME(c.releaseCoef, m.releaseCoef);
    SAME(c.slowRiseCoef, m.slowRiseCoef);
    SAME(c.slowFallCoef, m.slowFallCoef);
    SAME(c.ispEnabled, m.ispEnabled != 0);
#undef SAME
#undef SAME_FLOAT
    if (engine.latency() != m.latency()) return "latency differs";
    if (const std::string where = stateDifference(engine.state(), m.state()); !where.empty()) return where;
    if (engine.levelRing() != m.levelRing) return "level ring differs";
    if (engine.slowLevelRing() != m.slowLevelRing) return "slow level ring differs";
    if (engine.delayLeft() != m.delayLeft || engine.delayRight() != m.delayRight) return "delay line differs";
    return {};
  }
};

// The instance's own start-up sequence.
void startLikeTheInstance(Pair& p, float rate) {
  p.threshold(0.0f);
  p.output(0.0f);
  p.isp(false);
  p.rate(rate);
}

float tenthsDb(Random& rng) { return static_cast<float>(rng.range(-300, 0)) * 0.1f; }

}  // namespace

TEST(EngineEquivalence, RandomSessionsMatchTheReferenceBitForBit) {
  const float rates[] = {44100.0f, 48000.0f, 88200.0f, 96000.0f, 192000.0f, 2000.0f, 22050.0f};
  for (int session = 0; session < 28; ++session) {
    SCOPED_TRACE("session " + std::to_string(session));
    Random rng(1000 + session);
    Pair p;
    startLikeTheInstance(p, rates[session % 7]);
    if (session % 2) p.isp(true);
    p.threshold(tenthsDb(rng));
    p.output(tenthsDb(rng));
    p.reset();
    const Stereo material = testsignals::program(120000, 77 + session, session % 3 == 0 ? 4.0f : 1.0f);
    std::size_t at = 0;
    while (at < material.frames()) {
      const int count = std::min<int>(rng.range(1, 2048), static_cast<int>(material.frames() - at));
      const std::string difference = p.process(material, at, count);
      ASSERT_EQ(difference, "") << "after " << at << " samples";
      at += static_cast<std::size_t>(count);
      // Settings change between blocks as automation would change them.
      switch (rng.range(0, 40)) {
        case 0: p.threshold(tenthsDb(rng)); break;
        case 1: p.output(tenthsDb(rng)); break;
        case 2: p.isp(rng.range(0, 1) != 0); break;
        case 3: p.meterHandOver(); break;
        case 4:
          if (rng.range(0, 5) == 0) {
            p.reset();
            if (rng.range(0, 1)) p.threshold(tenthsDb(rng));  // before the first sample: moves every tracker
          }
          break;
        case 5: p.threshold(static_cast<float>(rng.range(-300, 30)) * 0.1f); break;  // also above 0 dB
        default: break;
      }
    }
  }
}

TEST(EngineEquivalence, ExtremeInputAndSettingsMatchTheReference) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (int isp = 0; isp < 2; ++isp) {
    Pair p;
    startLikeTheInstance(p, 44100.0f);
    p.isp(isp != 0);
    Stereo material = testsignals::program(60000, 5, 1.0f);
    Random rng(9);
    for (int k = 0; k < 40; ++k) {
      const std::size_t at = static_cast<std::size_t>(rng.range(0, 59999));
      const float values[] = {nan, inf, -inf, 3e38f, 1e37f, 2e37f, 1e-40f, 300.0f};
      (rng.range(0, 1) ? material.left : material.right)[at] = values[rng.range(0, 7)];
    }
    // A long overload far above full scale followed by near silence drives the
    // overload recovery.
    for (std::size_t i = 20000; i < 30000; ++i) material.left[i] = material.right[i] = 2000.0f * rng.bipolar();
    for (std::size_t i = 30000; i < 40000; ++i) material.left[i] = material.right[i] = 1e-6f * rng.bipolar();
    std::size_t at = 0;
    const float dBs[] = {-30.0f, 0.0f, -400.0f, 20.0f, -12.3f, 800.0f, nan, -inf};
    while (at < material.frames()) {
      const int count = std::min<int>(rng.range(1, 700), static_cast<int>(material.frames() - at));
      ASSERT_EQ(p.process(material, at, count), "") << "isp " << isp << " after " << at;
      at += static_cast<std::size_t>(count);
      if (rng.range(0, 8) == 0) p.threshold(dBs[rng.range(0, 7)]);
      if (rng.range(0, 8) == 0) p.output(dBs[rng.range(0, 7)]);
    }
  }
}

TEST(EngineEquivalence, SampleRateChangesAndOddRatesMatchTheReference) {
  const float rates[] = {0.0f,
                         -5.0f,
                         9.99f,
                         10.0f,
                         1999.0f,
                         2000.0f,
                         5000.0f,
                         11025.0f,
                         384000.0f,
                         500000.0f,
                         std::numeric_limits<float>::infinity(),
                         std::numeric_limits<float>::quiet_NaN()};
  Pair p;
  startLikeTheInstance(p, 48000.0f);
  const Stereo material = testsignals::program(20000, 3, 1.0f);
  for (float rate : rates) {
    p.rate(rate);
    ASSERT_EQ(p.compareState(), "") << "rate " << rate;
    for (std::size_t at = 0; at < material.frames(); at += 1000) {
      ASSERT_EQ(p.process(material, at, 1000), "") << "rate " << rate;
    }
  }
}

TEST(EngineEquivalence, TheStateComparisonSeesEveryBit) {
  Pair p;
  startLikeTheInstance(p, 44100.0f);
  ASSERT_EQ(p.process(testsignals::program(5000, 1, 1.0f), 0, 5000), "");
  const LimiterEngine::State s = p.engine.state();
  EXPECT_EQ(stateDifference(s, s), "");
  LimiterEngine::State changed = s;
  changed.attackStep = std::nextafter(s.attackStep, 1.0);
  EXPECT_NE(stateDifference(s, changed), "");
  changed = s;
  changed.quietLevel = -s.quietLevel;  // also a zero against a negative zero
  EXPECT_NE(stateDifference(s, changed), "");
  changed = s;
  changed.programPeakArmed = !s.programPeakArmed;  // the last field
  EXPECT_NE(stateDifference(s, changed), "");
}
