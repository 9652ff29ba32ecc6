// The output is sample-aligned with the input, whatever latency the effect
// reports and whenever it reports it.

#include "RenderTestSupport.h"

namespace rendertest {
namespace {

struct LatencyCase {
  int rate;
  bool isp;
  int latency;
};

class Alignment : public ::testing::TestWithParam<LatencyCase> {};

// Impulses well below the threshold pass the limiter untouched but for its
// constant gain, so every other output sample must be silent.
Sound impulses(int rate) {
  Sound in = silence(rate, 2, static_cast<std::size_t>(rate) / 4);
  in.samples[2 * 1000] = 0.25f;                       // left, frame 1000
  in.samples[2 * 1500 + 1] = -0.25f;                  // right, frame 1500
  in.samples[2 * (in.frames() - 1)] = 0.125f;         // the very last frame
  in.samples[2 * (in.frames() - 1) + 1] = 0.125f;
  return in;
}

void expectImpulsesAt(const Sound& out, std::size_t shift, std::size_t lastFrame) {
  for (std::size_t n = 0; n < out.frames(); ++n) {
    for (int c = 0; c < 2; ++c) {
      const bool expected = (c == 0 && n == 1000 + shift) || (c == 1 && n == 1500 + shift) || n == lastFrame;
      if (expected) {
        EXPECT_GT(std::fabs(out.at(n, c)), 0.1f) << "frame " << n << " channel " << c;
      } else {
        ASSERT_LT(std::fabs(out.at(n, c)), 1e-6f) << "frame " << n << " channel " << c;
      }
    }
  }
}

TEST_P(Alignment, ImpulsesLeaveAtTheirInputFramesAndTheLengthIsKept) {
  const LatencyCase c = GetParam();
  TempDir dir;
  const Sound in = impulses(c.rate);
  writeSound(dir / "in.wav", in);
  std::vector<std::string> args = {"in.wav", "out.wav", "--json"};
  if (c.isp) args.push_back("--isp");
  const Ran run = render(args, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(jsonNumber(run.out, "", "latency_samples"), c.latency);

  const Sound out = readSound(dir / "out.wav");
  ASSERT_EQ(out.frames(), in.frames());
  expectImpulsesAt(out, 0, in.frames() - 1);
}

TEST_P(Alignment, KeepLatencyWritesTheDelayedOutputWithItsTail) {
  const LatencyCase c = GetParam();
  TempDir dir;
  const Sound in = impulses(c.rate);
  writeSound(dir / "in.wav", in);
  std::vector<std::string> args = {"in.wav", "out.wav", "--keep-latency"};
  if (c.isp) args.push_back("--isp");
  const Ran run = render(args, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const Sound out = readSound(dir / "out.wav");
  const std::size_t latency = static_cast<std::size_t>(c.latency);
  ASSERT_EQ(out.frames(), in.frames() + latency);
  expectImpulsesAt(out, latency, in.frames() - 1 + latency);
}

INSTANTIATE_TEST_SUITE_P(RatesAndDetection, Alignment,
                         ::testing::Values(LatencyCase{44100, false, 55}, LatencyCase{44100, true, 61},
                                           LatencyCase{48000, false, 60}, LatencyCase{48000, true, 66},
                                           LatencyCase{96000, false, 120}, LatencyCase{96000, true, 126}),
                         [](const auto& info) {
                           return std::to_string(info.param.rate) + (info.param.isp ? "Isp" : "NoIsp");
                         });

// An effect that reports its latency only from inside its first process call
// (as some real ones do) still comes out aligned, to the bit.
TEST(AlignmentOfOtherEffects, LatencyReportedLateIsCompensatedExactly) {
  TempDir dir;
  Sound in = sine(48000, 2, 0.5, 440.0, -6.0);
  for (std::size_t n = 0; n < in.frames(); ++n) in.samples[2 * n + 1] *= -0.5f;  // channels differ
  writeSound(dir / "in.wav", in);
  const Ran aligned = render({"--plugin", TEST_EFFECT_LATE_DELAY, "in.wav", "out.wav"}, dir.path());
  ASSERT_EQ(aligned.exitCode, 0) << aligned.err;
  EXPECT_EQ(readSound(dir / "out.wav").samples, in.samples);

  const Ran kept = render({"--plugin", TEST_EFFECT_LATE_DELAY, "in.wav", "kept.wav", "--keep-latency"}, dir.path());
  ASSERT_EQ(kept.exitCode, 0) << kept.err;
  const Sound out = readSound(dir / "kept.wav");
  ASSERT_EQ(out.frames(), in.frames() + 37);
  EXPECT_TRUE(std::equal(in.samples.begin(), in.samples.end(), out.samples.begin() + 2 * 37));
}

// 16-bit samples through a transparent effect come back as the same 16-bit
// samples, full scale included: libsndfile's reading and writing scales agree.
TEST(AlignmentOfOtherEffects, SixteenBitPassesThroughUnchanged) {
  TempDir dir;
  Sound in = silence(44100, 2, 70000);
  for (std::size_t i = 0; i < in.samples.size(); ++i) {
    in.samples[i] = static_cast<float>(static_cast<int>(i % 65536) - 32768) / 32768.0f;
  }
  in.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  writeSound(dir / "in.wav", in);
  const Ran run = render({"--plugin", TEST_EFFECT_LATE_DELAY, "in.wav", "out.wav"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Sound out = readSound(dir / "out.wav");
  EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(out.samples, readSound(dir / "in.wav").samples);
}

}  // namespace
}  // namespace rendertest
