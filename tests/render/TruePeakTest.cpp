// The screened true-peak meter gives exactly what a full libebur128 pass gives
// (which, like the renderer's report, never reads below the sample peak).

#include "RenderTestSupport.h"

#include "host/render/TruePeakMeter.h"

#include <ebur128.h>

#include <random>

namespace rendertest {
namespace {

double fullPass(const std::vector<float>& samples, int channels, int rate) {
  ebur128_state* state = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                                      EBUR128_MODE_TRUE_PEAK);
  ebur128_add_frames_float(state, samples.data(), samples.size() / static_cast<std::size_t>(channels));
  double largest = 0.0;
  for (int c = 0; c < channels; ++c) {
    double value = 0.0;
    ebur128_true_peak(state, static_cast<unsigned>(c), &value);
    largest = std::max(largest, value);
  }
  ebur128_destroy(&state);
  return largest;
}

double samplePeak(const std::vector<float>& samples) {
  double largest = 0.0;
  for (float sample : samples) largest = std::max(largest, std::fabs(static_cast<double>(sample)));
  return largest;
}

// Fed in uneven pieces, so the meter's own blocks fall anywhere in the signal.
struct Screened {
  double peak;
  std::size_t framesInterpolated;
};

Screened screened(const std::vector<float>& samples, int channels, int rate, unsigned seed) {
  render::TruePeakMeter meter(channels, rate);
  std::mt19937 random(seed);
  std::size_t at = 0;
  const std::size_t frames = samples.size() / static_cast<std::size_t>(channels);
  while (at < frames) {
    const std::size_t take = std::min<std::size_t>(frames - at, 1 + random() % 3000);
    meter.add(samples.data() + at * static_cast<std::size_t>(channels), take);
    at += take;
  }
  return {meter.peak(), meter.framesInterpolated()};
}

// Quiet noise with short bursts whose true peaks lie between the samples: a
// quarter-rate sine sampled 45 degrees off its crests reads 3 dB under its
// true peak, so only the interpolator finds the loudest burst.
std::vector<float> burstsInNoise(int channels, std::size_t frames, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<float> noise(0.0f, 0.05f);
  std::vector<float> samples(frames * static_cast<std::size_t>(channels));
  for (float& sample : samples) sample = noise(random);
  const double amplitudes[] = {0.6, 0.9, 0.75};  // the 0.9 one has the largest samples and true peak
  for (int burst = 0; burst < 3; ++burst) {
    const std::size_t start = (frames / 4) * static_cast<std::size_t>(burst + 1) + random() % 300;
    const int channel = burst % channels;
    for (std::size_t n = 0; n < 40 && start + n < frames; ++n) {
      samples[(start + n) * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)] =
          static_cast<float>(amplitudes[burst] * std::sin(M_PI / 2.0 * static_cast<double>(n) + M_PI / 4.0));
    }
  }
  return samples;
}

TEST(TruePeak, SameAsAFullLibebur128Pass) {
  struct Case {
    int channels, rate;
    std::vector<float> samples;
  };
  std::vector<Case> cases;
  cases.push_back({2, 44100, burstsInNoise(2, 200000, 1)});
  cases.push_back({1, 48000, burstsInNoise(1, 150000, 2)});
  cases.push_back({2, 96000, burstsInNoise(2, 200000, 3)});    // twice oversampled
  cases.push_back({2, 44100, std::vector<float>(2 * 50000)});  // silence
  const Sound example = readSound(QUELMAR_EXAMPLE_PATH);
  cases.push_back({example.channels, example.rate, example.samples});
  // A limited master: nearly every stretch comes close to the ceiling.
  std::vector<float> limited = example.samples;
  for (float& sample : limited) sample = std::clamp(sample * 4.0f, -0.89f, 0.89f);
  cases.push_back({example.channels, example.rate, limited});

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const double expected = fullPass(c.samples, c.channels, c.rate);
    for (unsigned seed : {7u, 8u}) {
      EXPECT_EQ(std::max(screened(c.samples, c.channels, c.rate, seed).peak, samplePeak(c.samples)), expected) << "case " << i << " seed " << seed;
    }
  }
}

TEST(TruePeak, InterpolatesOnlyWhereThePeakCanBe) {
  const std::vector<float> samples = burstsInNoise(2, 441000, 4);
  const Screened meter = screened(samples, 2, 44100, 9);
  EXPECT_GT(meter.peak, 0.89);  // above the largest sample, found between samples
  EXPECT_LT(meter.framesInterpolated, samples.size() / 2 / 20);
}

TEST(TruePeak, TheSamplePeakAtRatesLibebur128DoesNotOversample) {
  const std::vector<float> samples = burstsInNoise(2, 100000, 5);
  EXPECT_EQ(screened(samples, 2, 192000, 1).peak, 0.0);
  EXPECT_EQ(fullPass(samples, 2, 192000), samplePeak(samples));
}

}  // namespace
}  // namespace rendertest
