// Rounding to integer samples: TPDF dither by default at 16 bits, plain
// rounding on request, dither forced at 24 bits, the same file every time.

#include "RenderTestSupport.h"

#include <complex>

namespace rendertest {
namespace {

constexpr int kRate = 48000;
constexpr double kStep16 = 1.0 / 32768.0;

// |X_k|^2 of the first `frames` samples of a channel: the power in DFT bin k.
double binPower(const Sound& sound, int channel, std::size_t frames, std::size_t k) {
  std::complex<double> sum = 0.0;
  const double w = -2.0 * M_PI * static_cast<double>(k) / static_cast<double>(frames);
  for (std::size_t n = 0; n < frames; ++n) {
    sum += static_cast<double>(sound.at(n, channel)) * std::polar(1.0, w * static_cast<double>(n));
  }
  return std::norm(sum);
}

struct Spectrum {
  double fundamental;       // power in the 1 kHz bin
  double loudestHarmonic;   // largest power in the 2 to 9 kHz harmonic bins
  double noiseFloor;        // mean power of bins between the harmonics
};

// One second at 48 kHz holds exactly 1000 periods: each harmonic falls on a
// bin of its own and nothing leaks.
Spectrum spectrumOf(const Sound& sound) {
  const std::size_t frames = kRate;
  Spectrum s{binPower(sound, 0, frames, 1000), 0.0, 0.0};
  for (std::size_t h = 2; h <= 9; ++h) s.loudestHarmonic = std::max(s.loudestHarmonic, binPower(sound, 0, frames, 1000 * h));
  int bins = 0;
  for (std::size_t k = 1237; k < 20000; k += 251) {
    if (k % 1000 == 0) continue;
    s.noiseFloor += binPower(sound, 0, frames, k);
    ++bins;
  }
  s.noiseFloor /= bins;
  return s;
}

class Dithering : public ::testing::Test {
 protected:
  void SetUp() override {
    Sound tone = sine(kRate, 2, 2.0, 1000.0, -90.0);  // about one 16-bit step
    writeSound(dir_ / "tone.wav", tone);
    input_ = readSound(dir_ / "tone.wav");
  }
  Ran run(const std::string& output, std::vector<std::string> extra) {
    std::vector<std::string> args = {"tone.wav", output};
    args.insert(args.end(), extra.begin(), extra.end());
    return render(args, dir_.path());
  }
  TempDir dir_;
  Sound input_;
};

TEST_F(Dithering, KeepsAQuietToneFreeOfTheDistortionPlainRoundingMakes) {
  const Ran dithered = run("dithered.wav", {"--bits", "16"});
  ASSERT_EQ(dithered.exitCode, 0) << dithered.err;
  EXPECT_NE(dithered.out.find("WAV 16-bit with TPDF dither"), std::string::npos) << dithered.out;
  const Ran plain = run("plain.wav", {"--bits", "16", "--dither", "none"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_NE(plain.out.find("rounded without dither"), std::string::npos) << plain.out;

  const Spectrum withDither = spectrumOf(readSound(dir_ / "dithered.wav"));
  const Spectrum without = spectrumOf(readSound(dir_ / "plain.wav"));
  const Spectrum original = spectrumOf(input_);
  // The tone survives either way.
  EXPECT_NEAR(10.0 * std::log10(withDither.fundamental / original.fundamental), 0.0, 1.0);
  // Plain rounding turns a one-step sine into a staircase: strong harmonics
  // and nothing between them. Dithered, the harmonics sink into the hiss (a
  // bin of noise exceeds ten times the mean with a chance of e^-10).
  EXPECT_GT(without.loudestHarmonic, 1000.0 * without.noiseFloor);
  EXPECT_LT(withDither.loudestHarmonic, 10.0 * withDither.noiseFloor);
}

TEST_F(Dithering, NoiseHasTheLevelOfTpdfAndTheSameFileComesOutEveryTime) {
  ASSERT_EQ(run("a.wav", {"--bits", "16"}).exitCode, 0);
  ASSERT_EQ(run("b.wav", {"--bits", "16"}).exitCode, 0);
  const Sound a = readSound(dir_ / "a.wav");
  EXPECT_EQ(a.samples, readSound(dir_ / "b.wav").samples);

  // Rounding error plus triangular noise of +-1 step: a variance of a
  // quarter step squared (rms half a step), never beyond 1.5 steps.
  ASSERT_EQ(a.samples.size(), input_.samples.size());
  double sumSquares = 0.0;
  double largest = 0.0;
  double correlation = 0.0;
  for (std::size_t i = 0; i < a.samples.size(); ++i) {
    const double error = (static_cast<double>(a.samples[i]) - input_.samples[i]) / kStep16;
    sumSquares += error * error;
    largest = std::max(largest, std::fabs(error));
    if (i % 2 == 0) correlation += error * (static_cast<double>(a.samples[i + 1]) - input_.samples[i + 1]) / kStep16;
  }
  const double frames = static_cast<double>(a.frames());
  EXPECT_NEAR(std::sqrt(sumSquares / a.samples.size()), 0.5, 0.02);
  EXPECT_LE(largest, 1.5);
  EXPECT_LT(std::fabs(correlation / frames), 0.02) << "the channels' noises should be independent";
}

TEST_F(Dithering, OffByDefaultAt24BitsAndForcedOnRequest) {
  const Ran plain = run("plain.wav", {"--bits", "24", "--json"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_NE(plain.out.find("\"dither\": \"none\""), std::string::npos) << plain.out;
  const Ran forced = run("forced.wav", {"--bits", "24", "--dither", "tpdf", "--json"});
  ASSERT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_NE(forced.out.find("\"dither\": \"tpdf\""), std::string::npos) << forced.out;

  const Sound p = readSound(dir_ / "plain.wav");
  const Sound f = readSound(dir_ / "forced.wav");
  ASSERT_EQ(p.samples.size(), f.samples.size());
  std::size_t differing = 0;
  double largest = 0.0;
  for (std::size_t i = 0; i < p.samples.size(); ++i) {
    differing += p.samples[i] != f.samples[i];
    largest = std::max(largest, std::fabs(static_cast<double>(p.samples[i]) - f.samples[i]) * 8388608.0);
  }
  EXPECT_GT(differing, p.samples.size() / 3);
  EXPECT_LE(largest, 2.0);  // steps of 24 bits
}

}  // namespace
}  // namespace rendertest
