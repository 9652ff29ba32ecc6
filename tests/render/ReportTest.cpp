// The loudness report on signals whose loudness is known.

#include "RenderTestSupport.h"

namespace rendertest {
namespace {

double figure(const Ran& run, const char* side, const char* key) {
  const std::optional<double> value = jsonNumber(run.out, side, key);
  EXPECT_TRUE(value) << side << "." << key << " missing in\n" << run.out;
  return value.value_or(NAN);
}

// EBU Tech 3341, test 1: a stereo 1 kHz sine at -23 dBFS reads -23.0 LUFS.
TEST(Report, StereoSineAtMinus23ReadsMinus23Lufs) {
  TempDir dir;
  writeSound(dir / "in.wav", sine(48000, 2, 20.0, 1000.0, -23.0));
  const Ran run = render({"in.wav", "out.wav", "--json"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NEAR(figure(run, "before", "integrated_lufs"), -23.0, 0.1);
  EXPECT_NEAR(figure(run, "before", "sample_peak_dbfs"), -23.0, 0.01);
  EXPECT_NEAR(figure(run, "before", "true_peak_dbtp"), -23.0, 0.1);
  EXPECT_NEAR(figure(run, "before", "loudness_range_lu"), 0.0, 0.1);
  // Threshold and ceiling at 0 dB: nothing to limit, the output reads the same.
  EXPECT_NEAR(figure(run, "after", "integrated_lufs"), -23.0, 0.1);
  EXPECT_NEAR(figure(run, "", "largest_gain_reduction_db"), 0.0, 0.05);
}

// A mono file is fed to both inputs, written mono, and measured as it sounds
// on two loudspeakers.
TEST(Report, MonoIsWrittenMonoAndMeasuredAsDualMono) {
  TempDir dir;
  const Sound in = sine(48000, 1, 20.0, 1000.0, -23.0);
  writeSound(dir / "in.wav", in);
  writeSound(dir / "stereo.wav", sine(48000, 2, 20.0, 1000.0, -23.0));
  const Ran mono = render({"in.wav", "out.wav", "--json", "--threshold", "-26"}, dir.path());
  const Ran stereo = render({"stereo.wav", "stereo-out.wav", "--threshold", "-26"}, dir.path());
  ASSERT_EQ(mono.exitCode, 0) << mono.err;
  ASSERT_EQ(stereo.exitCode, 0) << stereo.err;
  EXPECT_NEAR(figure(mono, "before", "integrated_lufs"), -23.0, 0.1);

  const Sound out = readSound(dir / "out.wav");
  const Sound reference = readSound(dir / "stereo-out.wav");
  ASSERT_EQ(out.channels, 1);
  ASSERT_EQ(out.frames(), in.frames());
  for (std::size_t n = 0; n < out.frames(); ++n) ASSERT_EQ(out.at(n, 0), reference.at(n, 0)) << "frame " << n;
}

// Driven 9 dB into a -1 dB ceiling, a -6 dBFS sine comes out at -1 dBFS:
// 4 dB less than the 9 dB the settings would give unlimited.
TEST(Report, GainReductionIsMeasuredAgainstTheNominalGain) {
  TempDir dir;
  // Half a second of silence first: from a fresh start the envelope sits at
  // full scale and would count its own settling as reduction.
  Sound in = sine(44100, 2, 5.0, 500.0, -6.0);
  std::fill_n(in.samples.begin(), 44100, 0.0f);
  writeSound(dir / "in.wav", in);
  const Ran run = render({"in.wav", "out.wav", "--json", "--threshold", "-10", "--ceiling", "-1"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NEAR(figure(run, "after", "sample_peak_dbfs"), -1.0, 0.05);
  EXPECT_NEAR(figure(run, "", "largest_gain_reduction_db"), 4.0, 0.2);
}

TEST(Report, SilenceHasNoLoudnessAndSaysSo) {
  TempDir dir;
  writeSound(dir / "in.wav", silence(44100, 2, 44100));
  const Ran json = render({"in.wav", "out.wav", "--json"}, dir.path());
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_NE(json.out.find("\"integrated_lufs\": null"), std::string::npos) << json.out;
  const Ran table = render({"in.wav", "out2.wav"}, dir.path());
  ASSERT_EQ(table.exitCode, 0) << table.err;
  EXPECT_EQ(rowAfter(table.out, "integrated (LUFS)"), (std::vector<std::string>{"-inf", "-inf"})) << table.out;
}

TEST(Report, AnEmptyFileHasNoSpeedToSpeakOf) {
  TempDir dir;
  writeSound(dir / "in.wav", silence(44100, 2, 0));
  const Ran run = render({"in.wav", "out.wav"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(" s (—)"), std::string::npos) << run.out;
}

TEST(Report, TableShowsBothSidesOfEveryFigure) {
  TempDir dir;
  writeSound(dir / "in.wav", sine(48000, 2, 10.0, 1000.0, -23.0));
  const Ran run = render({"in.wav", "out.wav"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  using Row = std::vector<std::string>;
  EXPECT_EQ(rowAfter(run.out, "integrated (LUFS)"), (Row{"-23.0", "-23.0"})) << run.out;
  EXPECT_EQ(rowAfter(run.out, "loudness range (LU)"), (Row{"0.0", "0.0"})) << run.out;
  EXPECT_EQ(rowAfter(run.out, "sample peak (dBFS)"), (Row{"-23.0", "-23.0"})) << run.out;
  EXPECT_EQ(rowAfter(run.out, "true peak (dBTP)").size(), 2u) << run.out;
  EXPECT_EQ(rowAfter(run.out, "largest gain reduction"), (Row{"0.0", "dB"})) << run.out;
}

}  // namespace
}  // namespace rendertest
