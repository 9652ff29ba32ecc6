// Checks the reference model against the limiter's known values (lengths,
// coefficients, levels, delays, detector readings), so that the bit-exact
// comparison against the production engine starts from a model that is
// itself right.

#include "ReferenceLimiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace {

using reference::ReferenceLimiter;

struct Meters {
    float inputPeak[2] = {0.0f, 0.0f};
    float envelopeLevel = 0.0f;
    uint16_t meterHoldoff = 0;
};

// Runs a stereo signal through the model in blocks of the given size.
void run(ReferenceLimiter& limiter, std::vector<float>& left, std::vector<float>& right,
         Meters& meters, int block)
{
    const int total = int(left.size());
    for (int start = 0; start < total; start += block) {
        const int count = std::min(block, total - start);
        const float* in[2] = {left.data() + start, right.data() + start};
        float* out[2] = {left.data() + start, right.data() + start};
        limiter.process(in, out, meters.inputPeak, &meters.envelopeLevel, &meters.meterHoldoff, count);
    }
}

// The expected coefficients are known to eight significant digits.
void expectDigits(double actual, double expected)
{
    const double unit = std::pow(10.0, std::floor(std::log10(expected)) - 7.0);
    EXPECT_NEAR(actual, expected, 0.5 * unit) << "expected " << expected;
}

TEST(ReferenceLimiter, RateDependentLengthsAndCoefficients)
{
    struct Row {
        float rate;
        int n, shortHold, longHold;
        double attack, release, rise, fall;
    };
    const Row rows[] = {
        {44100.0f, 55, 90, 540, 0.017857194, 0.98954463, 0.99926376, 0.99992633},
        {48000.0f, 60, 98, 588, 0.016393423, 0.99039006, 0.99932289, 0.99993229},
        {88200.0f, 110, 181, 1086, 0.0090090036, 0.99475861, 0.99963188, 0.99996316},
        {96000.0f, 120, 197, 1182, 0.0082644224, 0.99518335, 0.99966240, 0.99996614},
        {192000.0f, 240, 394, 2364, 0.0041494370, 0.99758875, 0.99983025, 0.99998307},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rate);
        ReferenceLimiter limiter;
        limiter.setSampleRate(row.rate);
        EXPECT_EQ(limiter.lookahead, row.n);
        EXPECT_EQ(limiter.lookaheadLast, row.n - 2);
        EXPECT_EQ(limiter.shortHoldLength, row.shortHold);
        EXPECT_EQ(limiter.longHoldLength, row.longHold);
        expectDigits(limiter.attackFraction, row.attack);
        expectDigits(limiter.releaseCoef, row.release);
        expectDigits(limiter.slowRiseCoef, row.rise);
        expectDigits(limiter.slowFallCoef, row.fall);
        EXPECT_EQ(limiter.levelRing.size(), size_t(row.n));
        EXPECT_EQ(limiter.ispHistoryLeft.size(), 12u);
    }
}

TEST(ReferenceLimiter, SampleRateClampsAndLatency)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float hz;
        float rate;
        int n;
    } cases[] = {{0.0f, 44100.0f, 55}, {-3.0f, 44100.0f, 55}, {nan, 44100.0f, 55},
                 {5000.0f, 5000.0f, 6}, {1000.0f, 2000.0f, 2}, {500000.0f, 384000.0f, 480},
                 {inf, 384000.0f, 480}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hz);
        ReferenceLimiter limiter;
        limiter.setSampleRate(48000.0f);
        limiter.setSampleRate(c.hz);
        EXPECT_EQ(limiter.sampleRate, c.rate);
        EXPECT_EQ(limiter.lookahead, c.n);
    }

    ReferenceLimiter limiter;
    EXPECT_EQ(limiter.latency(), 55);
    limiter.setIspEnabled(true);
    EXPECT_EQ(limiter.latency(), 61);
    limiter.setIspEnabled(true);
    EXPECT_EQ(limiter.latency(), 61);
    limiter.setIspEnabled(false);
    limiter.setSampleRate(96000.0f);
    EXPECT_EQ(limiter.latency(), 120);

    // The same rate again keeps the audio in the delay line; another clears it.
    limiter.delayLeft[3] = 0.5f;
    limiter.setSampleRate(96000.0f);
    EXPECT_EQ(limiter.delayLeft[3], 0.5f);
    limiter.setSampleRate(48000.0f);
    EXPECT_EQ(limiter.delayLeft[3], 0.0f);
}

TEST(ReferenceLimiter, ThresholdAndOutputLevels)
{
    ReferenceLimiter limiter;
    EXPECT_EQ(limiter.thresholdLevel, 32.0f);
    EXPECT_EQ(limiter.floorRest, 30.5f);
    EXPECT_EQ(limiter.slowLevel, 32.0f);

    limiter.setOutput(0.0f);
    EXPECT_EQ(std::bit_cast<uint32_t>(limiter.outputGain), 0x41FF4002u);

    // -0.1 dB is its own level rounded to 23 significant bits, unclamped.
    limiter.setOutput(-0.1f);
    const double exact = std::exp(double(-0.1f) * 0.11512925464970228) * 31.999996185302734;
    EXPECT_NEAR(limiter.outputGain, exact, std::ldexp(1.0, -19));
    const double steps = double(limiter.outputGain) * std::ldexp(1.0, 18);
    EXPECT_EQ(steps, std::floor(steps));
    EXPECT_LT(limiter.outputGain, 31.906253814697266f);

    // Before any audio a threshold moves every tracker; the grid below 256 is 2^-15.
    limiter.setThreshold(-10.0f);
    EXPECT_EQ(limiter.envelopeTarget, limiter.thresholdLevel);
    EXPECT_EQ(limiter.slowLevel, limiter.thresholdLevel);
    const double tenths = double(limiter.thresholdLevel) * 32768.0;
    EXPECT_EQ(tenths, std::floor(tenths));
    EXPECT_NEAR(limiter.thresholdLevel, 10.119, 0.001);
}

TEST(ReferenceLimiter, UnusableSettingsAreIgnored)
{
    ReferenceLimiter limiter;
    limiter.setThreshold(-12.0f);
    const float kept = limiter.thresholdLevel;
    for (float dB : {-200.0f, 1.0e6f, std::numeric_limits<float>::quiet_NaN()}) {
        SCOPED_TRACE(dB);
        limiter.setThreshold(dB);
        EXPECT_EQ(limiter.thresholdLevel, kept);
        EXPECT_EQ(limiter.floorLevel, kept);
    }

    limiter.setOutput(-6.0f);
    const float gain = limiter.outputGain;
    limiter.setOutput(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(limiter.outputGain, gain);
    limiter.setOutput(1.0e6f);
    EXPECT_EQ(std::bit_cast<uint32_t>(limiter.outputGain), 0x41FF4002u);
}

TEST(ReferenceLimiter, ImpulseLeavesAfterTheLatency)
{
    for (bool isp : {false, true}) {
        SCOPED_TRACE(isp);
        ReferenceLimiter limiter;
        limiter.setOutput(0.0f);
        limiter.setIspEnabled(isp);
        std::vector<float> left(200, 0.0f), right(200, 0.0f);
        left[0] = 1.0f;
        Meters meters;
        run(limiter, left, right, meters, 200);

        const size_t at = isp ? 61 : 55;
        for (size_t i = 0; i < left.size(); ++i) {
            EXPECT_EQ(right[i], 0.0f) << i;
            if (i != at) {
                EXPECT_EQ(left[i], 0.0f) << i;
            }
        }
        // The envelope is at least the detected full-scale level, 31.999996.
        EXPECT_GT(left[at], 0.997f);
        EXPECT_LE(left[at], 31.906253814697266 / 31.999996185302734);
    }
}

TEST(ReferenceLimiter, QuarterRateSineShowsItsTruePeak)
{
    for (bool isp : {false, true}) {
        SCOPED_TRACE(isp);
        ReferenceLimiter limiter;
        limiter.setIspEnabled(isp);
        std::vector<float> left(4000), right(4000);
        const float pattern[4] = {0.70710677f, 0.70710677f, -0.70710677f, -0.70710677f};
        for (size_t i = 0; i < left.size(); ++i)
            left[i] = right[i] = pattern[i % 4];
        Meters meters;
        run(limiter, left, right, meters, 512);
        EXPECT_NEAR(meters.inputPeak[0], isp ? 1.044f : 0.7071f, 0.001f);
        EXPECT_EQ(meters.inputPeak[0], meters.inputPeak[1]);
    }
}

TEST(ReferenceLimiter, InvalidSamplesSilenceOnlyThemselves)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (bool isp : {false, true}) {
        for (float bad : {nan, inf}) {
            SCOPED_TRACE(testing::Message() << "isp " << isp << " sample " << bad);
            ReferenceLimiter limiter;
            limiter.setIspEnabled(isp);
            std::vector<float> left(600, 0.25f), right(600, 0.25f);
            left[300] = bad;
            Meters meters;
            run(limiter, left, right, meters, 64);

            const size_t silent = 300 + limiter.latency();
            for (size_t i = limiter.latency(); i < left.size(); ++i) {
                ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << i;
                if (i == silent) {
                    EXPECT_EQ(left[i], 0.0f);
                    EXPECT_EQ(right[i], 0.0f);
                } else {
                    EXPECT_NE(left[i], 0.0f) << i;
                }
            }
            EXPECT_EQ(meters.inputPeak[0], 32.0f);
            EXPECT_LT(meters.inputPeak[1], 1.0f);
            EXPECT_TRUE(std::isfinite(limiter.envelope) && std::isfinite(limiter.slowLevel));
        }
    }
}

TEST(ReferenceLimiter, BlockSizeDoesNotMatterAndTheCeilingHolds)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> left(20000), right(20000);
    for (size_t i = 0; i < left.size(); ++i) {
        const float loud = (i / 3000) % 2 ? 1.0f : 0.05f;
        left[i] = loud * noise(random);
        right[i] = loud * noise(random);
    }

    for (bool isp : {false, true}) {
        SCOPED_TRACE(isp);
        std::vector<float> oneL = left, oneR = right, bigL = left, bigR = right;
        ReferenceLimiter a, b;
        for (ReferenceLimiter* limiter : {&a, &b}) {
            limiter->setThreshold(-10.0f);
            limiter->setOutput(-1.0f);
            limiter->setIspEnabled(isp);
        }
        Meters ma, mb;
        run(a, oneL, oneR, ma, 1);
        run(b, bigL, bigR, mb, 4096);
        EXPECT_EQ(oneL, bigL);
        EXPECT_EQ(oneR, bigR);
        EXPECT_EQ(ma.envelopeLevel, mb.envelopeLevel);

        const float ceiling = a.outputGain / 31.999996185302734f * (1.0f + 4e-7f);
        for (size_t i = 0; i < oneL.size(); ++i) {
            ASSERT_LE(std::fabs(oneL[i]), ceiling) << i;
            ASSERT_LE(std::fabs(oneR[i]), ceiling) << i;
        }
    }
}

TEST(ReferenceLimiter, QuietSineGainsTheThresholdDistance)
{
    // Threshold -10 dB on a sine at -20 dBFS: once the trackers settle no
    // limiting happens and the output sits about 9.97 dB above the input.
    ReferenceLimiter limiter;
    limiter.setThreshold(-10.0f);
    limiter.setOutput(0.0f);
    const double amplitude = std::pow(10.0, -1.0);
    std::vector<float> left(44100 * 8), right;
    for (size_t i = 0; i < left.size(); ++i)
        left[i] = float(amplitude * std::sin(2.0 * std::numbers::pi * 997.0 * double(i) / 44100.0));
    right = left;
    Meters meters;
    run(limiter, left, right, meters, 1024);

    float peak = 0.0f;
    for (size_t i = left.size() - 44100; i < left.size(); ++i)
        peak = std::max(peak, std::fabs(left[i]));
    EXPECT_NEAR(20.0 * std::log10(peak / amplitude), 9.97, 0.01);
}

} // namespace
