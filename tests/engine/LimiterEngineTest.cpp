// Behaviour of the limiter engine on its own: configuration arithmetic, the
// audio path's delay and ceiling, invalid input, and the guarded settings.

#include "engine/LimiterEngine.h"
#include "support/TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using testsignals::bits;
using testsignals::Stereo;

namespace {

struct Meters {
  LimiterEngine::MeterLevel peak[2] = {0.0009765625f, 0.0009765625f};
  LimiterEngine::MeterLevel envelope{1.0f};
  LimiterEngine::MeterCounter holdoff{0};
};

// Runs the material through the engine in blocks of the given size (0: one block).
Stereo run(LimiterEngine& engine, const Stereo& in, std::size_t block = 0, Meters* meters = nullptr) {
  Meters local;
  Meters& m = meters != nullptr ? *meters : local;
  Stereo out(in.frames());
  if (block == 0) block = in.frames();
  for (std::size_t at = 0; at < in.frames(); at += block) {
    const int count = static_cast<int>(std::min(block, in.frames() - at));
    const float* inputs[2] = {in.left.data() + at, in.right.data() + at};
    float* outputs[2] = {out.left.data() + at, out.right.data() + at};
    engine.process(inputs, outputs, m.peak, &m.envelope, &m.holdoff, count);
  }
  return out;
}

void configure(LimiterEngine& engine, float rate, float thresholdDb = 0.0f, float outputDb = 0.0f, bool isp = false) {
  engine.setThreshold(thresholdDb);
  engine.setOutput(outputDb);
  engine.setIspEnabled(isp);
  engine.setSampleRate(rate);
}

float peakOf(const Stereo& s, std::size_t from = 0) {
  float peak = 0.0f;
  for (std::size_t i = from; i < s.frames(); ++i) peak = std::max({peak, std::fabs(s.left[i]), std::fabs(s.right[i])});
  return peak;
}

double rmsDb(const std::vector<float>& v, std::size_t from) {
  double sum = 0.0;
  for (std::size_t i = from; i < v.size(); ++i) sum += static_cast<double>(v[i]) * v[i];
  return 10.0 * std::log10(sum / static_cast<double>(v.size() - from));
}

}  // namespace

TEST(LimiterConfiguration, RateDependentLengthsAndCoefficients) {
  struct Row {
    float rate;
    int n, shortHold, longHold;
    double attack, release, rise, fall;
  };
  const Row rows[] = {
      {44100, 55, 90, 540, 0.017857194, 0.98954463, 0.99926376, 0.99992633},
      {48000, 60, 98, 588, 0.016393423, 0.99039006, 0.99932289, 0.99993229},
      {88200, 110, 181, 1086, 0.0090090036, 0.99475861, 0.99963188, 0.99996316},
      {96000, 120, 197, 1182, 0.0082644224, 0.99518335, 0.99966240, 0.99996614},
      {192000, 240, 394, 2364, 0.0041494370, 0.99758875, 0.99983025, 0.99998307},
  };
  for (const Row& row : rows) {
    LimiterEngine engine;
    engine.setSampleRate(row.rate);
    const LimiterEngine::Settings s = engine.settings();
    EXPECT_EQ(s.lookahead, row.n) << row.rate;
    EXPECT_EQ(s.lookaheadLast, row.n - 2) << row.rate;
    EXPECT_EQ(s.shortHoldLength, row.shortHold) << row.rate;
    EXPECT_EQ(s.longHoldLength, row.longHold) << row.rate;
    EXPECT_NEAR(s.attackFraction, row.attack, 5e-10) << row.rate;
    EXPECT_NEAR(s.releaseCoef, row.release, 5e-9) << row.rate;
    EXPECT_NEAR(s.slowRiseCoef, row.rise, 5e-9) << row.rate;
    EXPECT_NEAR(s.slowFallCoef, row.fall, 5e-9) << row.rate;
    // Snapped coefficients are floats; the rise factor sits on the coarser grid of 16.
    EXPECT_EQ(static_cast<double>(static_cast<float>(s.releaseCoef)), s.releaseCoef);
    EXPECT_EQ(std::fmod(s.slowRiseCoef * 1048576.0, 1.0), 0.0);
  }
}

TEST(LimiterConfiguration, SampleRatesAreClampedToAUsableRange) {
  const struct {
    float hz;
    int n;
  } cases[] = {{0.0f, 55},     {-48000.0f, 55}, {9.9f, 55},      {10.0f, 2},
               {1000.0f, 2},   {1999.9f, 2},    {5000.0f, 6},    {500000.0f, 480},
               {std::numeric_limits<float>::infinity(), 480},   {std::numeric_limits<float>::quiet_NaN(), 55}};
  for (const auto& c : cases) {
    LimiterEngine engine;
    engine.setSampleRate(48000.0f);
    engine.setSampleRate(c.hz);
    EXPECT_EQ(engine.settings().lookahead, c.n) << c.hz;
    EXPECT_EQ(engine.latency(), c.n) << c.hz;
  }
}

TEST(LimiterConfiguration, ThresholdAndOutputLevels) {
  LimiterEngine engine;
  engine.setThreshold(0.0f);
  EXPECT_EQ(engine.settings().thresholdLevel, 32.0f);
  engine.setThreshold(-30.0f);
  const float low = engine.settings().thresholdLevel;
  EXPECT_NEAR(low, 32.0 * std::pow(10.0, -1.5), 1e-4);
  EXPECT_EQ(std::fmod(static_cast<double>(low) * 32768.0, 1.0), 0.0) << "below 256 the grid is 2^-15";
  EXPECT_EQ(engine.settings().floorLevel, low);
  EXPECT_EQ(engine.settings().floorRest, static_cast<float>(static_cast<float>(low * 0.953125 + 256.0) - 256.0));

  engine.setOutput(0.0f);
  EXPECT_EQ(bits(engine.settings().outputGain), 0x41FF4002u);
  engine.setOutput(-0.1f);
  const double expected = std::pow(10.0, -0.005) * 31.999996185302734;
  EXPECT_NEAR(engine.settings().outputGain, expected, 2e-6);
  EXPECT_LT(engine.settings().outputGain, 31.906253814697266f);
  engine.setOutput(6.0f);  // above the ceiling
  EXPECT_EQ(bits(engine.settings().outputGain), 0x41FF4002u);
}

TEST(LimiterConfiguration, UnusableSettingsKeepThePreviousOnes) {
  LimiterEngine engine;
  engine.setThreshold(-12.0f);
  engine.setOutput(-3.0f);
  const LimiterEngine::Settings before = engine.settings();
  // Levels that snap to zero, overflow, or are not numbers would make the gain
  // infinite or NaN.
  for (float dB : {-400.0f, -2000.0f, -std::numeric_limits<float>::infinity(), 1000.0f,
                   std::numeric_limits<float>::quiet_NaN()}) {
    engine.setThreshold(dB);
    EXPECT_EQ(engine.settings().thresholdLevel, before.thresholdLevel) << dB;
  }
  engine.setOutput(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(engine.settings().outputGain, before.outputGain);
  engine.setOutput(7000.0f);  // a grid of 2^1024 would be infinite
  EXPECT_EQ(bits(engine.settings().outputGain), 0x41FF4002u);

  const Stereo out = run(engine, testsignals::program(20000, 4));
  for (std::size_t i = 0; i < out.frames(); ++i) ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i]));
}

TEST(LimiterConfiguration, ThresholdBeforeTheFirstSampleMovesEveryTracker) {
  LimiterEngine engine;
  engine.setSampleRate(44100.0f);
  engine.setThreshold(-10.0f);
  const float L = engine.settings().thresholdLevel;
  LimiterEngine::State s = engine.state();
  for (float tracker : {s.targetCandidate, s.shortHold, s.longHold, s.sustainTarget, s.envelopeTarget, s.searchLevel,
                        s.previousLevel, s.slowAverage, s.slowLevel}) {
    EXPECT_EQ(tracker, L);
  }
  EXPECT_EQ(s.gateLevel, L * 0.0404001f);

  run(engine, testsignals::sine(1000, 44100, 440, 0.5f));
  const LimiterEngine::State running = engine.state();
  engine.setThreshold(-20.0f);
  s = engine.state();
  EXPECT_EQ(s.envelope, running.envelope) << "during processing the envelope and holds stay";
  EXPECT_EQ(s.shortHold, running.shortHold);
  EXPECT_EQ(engine.settings().floorLevel, engine.settings().thresholdLevel);
}

TEST(LimiterConfiguration, InterSamplePeakSwitchClearsTheHistoryOnlyWhenTurnedOn) {
  LimiterEngine engine;
  configure(engine, 44100.0f);
  EXPECT_EQ(engine.latency(), 55);
  engine.setIspEnabled(true);
  EXPECT_EQ(engine.latency(), 61);
  run(engine, testsignals::sine(100, 44100, 1000, 0.5f));
  engine.setIspEnabled(true);  // again: no second clear
  EXPECT_EQ(engine.latency(), 61);
  EXPECT_NE(engine.ispHistoryLeft()[0], 0.0f);
  engine.setIspEnabled(false);
  EXPECT_EQ(engine.latency(), 55);
  engine.setIspEnabled(true);
  Stereo silence(1);
  run(engine, silence);
  int nonZero = 0;
  for (int k = 0; k < 12; ++k) nonZero += engine.ispHistoryLeft()[k] != 0.0f;
  EXPECT_EQ(nonZero, 0) << "turning detection on again starts from silence";
}

TEST(LimiterConfiguration, SameRateKeepsTheDelayLineAndANewRateSilencesIt) {
  LimiterEngine engine;
  configure(engine, 44100.0f);
  run(engine, testsignals::sine(30, 44100, 1000, 0.5f));
  engine.setSampleRate(44100.0f);
  EXPECT_NE(engine.delayLeft()[10], 0.0f);
  engine.setSampleRate(48000.0f);
  EXPECT_EQ(engine.delayLeft().size(), 60u);
  EXPECT_TRUE(std::all_of(engine.delayLeft().begin(), engine.delayLeft().end(), [](float v) { return v == 0.0f; }));
}

TEST(LimiterAudio, ImpulseLeavesAfterTheReportedLatency) {
  for (bool isp : {false, true}) {
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
      LimiterEngine engine;
      configure(engine, rate, 0.0f, 0.0f, isp);
      Stereo in(400);
      in.left[0] = in.right[0] = 1.0f;
      const Stereo out = run(engine, in);
      const std::size_t latency = engine.latency();
      for (std::size_t i = 0; i < out.frames(); ++i) {
        if (i == latency) continue;
        ASSERT_EQ(out.left[i], 0.0f) << "isp " << isp << " rate " << rate << " at " << i;
      }
      EXPECT_GT(out.left[latency], 0.99f);
      EXPECT_LE(out.left[latency], 31.906253814697266f / 31.999996185302734f);
      EXPECT_EQ(bits(out.left[latency]), bits(out.right[latency]));
    }
  }
}

TEST(LimiterAudio, InvalidSamplesBecomeSilenceAndNothingNonFiniteRemains) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (bool isp : {false, true}) {
    for (float bad : {nan, inf, -inf, 2e37f}) {
      // A finite absurd sample also makes its interpolated neighbours absurd;
      // only non-finite ones are left out of the estimate.
      if (isp && std::isfinite(bad)) continue;
      for (int channel = 0; channel < 2; ++channel) {
        LimiterEngine engine;
        configure(engine, 44100.0f, -6.0f, 0.0f, isp);
        Stereo in = testsignals::sine(4000, 44100, 997, 0.25f);
        const std::size_t at = 1000;
        (channel == 0 ? in.left : in.right)[at] = bad;
        Meters meters;
        const Stereo out = run(engine, in, 0, &meters);
        const std::size_t leaves = at + engine.latency();
        EXPECT_EQ(out.left[leaves], 0.0f) << "isp " << isp << " value " << bad;
        EXPECT_EQ(out.right[leaves], 0.0f);
        // Only that one sample is silenced, also with the interpolator's history.
        EXPECT_NE(out.left[leaves - 1], 0.0f);
        EXPECT_NE(out.left[leaves + 1], 0.0f);
        for (std::size_t i = 0; i < out.frames(); ++i) {
          ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
        }
        EXPECT_EQ(meters.peak[channel].load(), 32.0f);
        const LimiterEngine::State s = engine.state();
        EXPECT_TRUE(std::isfinite(s.envelope) && std::isfinite(s.slowLevel) && std::isfinite(s.targetCandidate));
      }
    }
  }
}

TEST(LimiterAudio, BlockBoundariesDoNotChangeTheResult) {
  const Stereo in = testsignals::program(50000, 21);
  for (bool isp : {false, true}) {
    LimiterEngine whole;
    configure(whole, 48000.0f, -9.0f, -0.3f, isp);
    const Stereo expected = run(whole, in);
    for (std::size_t block : {1u, 7u, 64u, 4096u}) {
      LimiterEngine blocks;
      configure(blocks, 48000.0f, -9.0f, -0.3f, isp);
      const Stereo out = run(blocks, in, block);
      for (std::size_t i = 0; i < in.frames(); ++i) {
        ASSERT_EQ(bits(out.left[i]), bits(expected.left[i])) << "block " << block << " at " << i;
        ASSERT_EQ(bits(out.right[i]), bits(expected.right[i])) << "block " << block << " at " << i;
      }
    }
  }
}

TEST(LimiterAudio, QuietSineIsRaisedByTheThresholdWithoutLimiting) {
  LimiterEngine engine;
  configure(engine, 44100.0f, -10.0f, 0.0f);
  const Stereo in = testsignals::sine(44100 * 4, 44100, 1000, testsignals::dbToGain(-20.0));
  const Stereo out = run(engine, in);
  const std::size_t settled = 44100 * 3;
  const double gain = rmsDb(out.left, settled) - rmsDb(in.left, settled - engine.latency());
  EXPECT_NEAR(gain, 9.97, 0.01);
}

TEST(LimiterAudio, OutputNeverExceedsTheCeiling) {
  testsignals::Random rng(5);
  for (bool isp : {false, true}) {
    for (float ceiling : {0.0f, -0.1f, -1.0f, -6.0f}) {
      LimiterEngine engine;
      configure(engine, 44100.0f, -24.0f, ceiling, isp);
      Stereo in(100000);
      for (std::size_t i = 0; i < in.frames(); ++i) {
        in.left[i] = rng.bipolar() * (i % 20000 < 3000 ? 4.0f : 1.0f);
        in.right[i] = rng.bipolar();
      }
      const Stereo out = run(engine, in, 512);
      const float bound = engine.settings().outputGain / 31.999996185302734f;
      EXPECT_LE(peakOf(out), bound * (1.0f + 1e-6f)) << "isp " << isp << " ceiling " << ceiling;
    }
  }
  LimiterEngine engine;
  configure(engine, 44100.0f, -10.0f, 0.0f);
  const Stereo out = run(engine, testsignals::sine(44100, 44100, 440, 1.0f));
  EXPECT_LE(peakOf(out), 31.906253814697266f / 31.999996185302734f * (1.0f + 1e-6f));
}

TEST(LimiterAudio, QuarterRateSineIsDetectedBetweenTheSamples) {
  // Samples at +-0.707: the true peaks of 1.0 lie between them.
  const Stereo in = testsignals::sine(2000, 4.0, 1.0, 1.0f, M_PI / 4.0);
  for (bool isp : {false, true}) {
    LimiterEngine engine;
    configure(engine, 44100.0f, 0.0f, 0.0f, isp);
    Meters meters;
    run(engine, in, 0, &meters);
    EXPECT_NEAR(meters.peak[0].load(), isp ? 1.044 : 0.7071, 0.001) << "isp " << isp;
  }
}

TEST(LimiterAudio, RecoversFromExtremeOverload) {
  LimiterEngine engine;
  configure(engine, 44100.0f, 0.0f, 0.0f);
  testsignals::Random rng(3);
  Stereo in(44100 * 4);
  for (std::size_t i = 0; i < 44100; ++i) in.left[i] = in.right[i] = 3000.0f * rng.bipolar();
  for (std::size_t i = 44100; i < in.frames(); ++i) in.left[i] = in.right[i] = 0.1f * rng.bipolar();
  const Stereo out = run(engine, in);
  // Half a second after the overload the gain is back: the quiet part comes out
  // near its own level instead of 90 dB down.
  const std::size_t from = 44100 * 3;
  EXPECT_GT(peakOf(out, from), 0.05f);
  EXPECT_LT(engine.state().slowLevel, 8192.0f);
}

TEST(LimiterAudio, MetersFollowTheAudio) {
  LimiterEngine engine;
  configure(engine, 44100.0f, -6.0f, 0.0f);
  Meters meters;
  meters.holdoff = 10;
  run(engine, testsignals::sine(550, 44100, 100, 0.5f), 0, &meters);  // exactly 10 cycles
  EXPECT_NEAR(meters.peak[0].load(), 0.5f, 1e-3);
  EXPECT_EQ(meters.holdoff.load(), 0);
  EXPECT_GT(meters.envelope.load(), 1.0f);
  Meters quiet;
  run(engine, Stereo(0), 0, &quiet);
  EXPECT_EQ(quiet.peak[0].load(), 0.0009765625f) << "an empty block touches no meter";
}
