// The output format: from the extension or --format, the sample format from
// --bits or the input.

#include "RenderTestSupport.h"

namespace rendertest {
namespace {

struct FormatCase {
  const char* name;
  int inputFormat;
  std::vector<std::string> args;  // after "in.wav"
  const char* file;
  int expected;
};

class OutputFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(OutputFormats, AreWrittenAsAsked) {
  const FormatCase& c = GetParam();
  TempDir dir;
  Sound in = sine(44100, 2, 0.5, 440.0, -3.0);
  in.format = c.inputFormat;
  writeSound(dir / "in.wav", in);
  std::vector<std::string> args = {"in.wav"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const Ran run = render(args, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Sound out = readSound(dir / c.file);
  EXPECT_EQ(out.format, c.expected) << std::hex << out.format;
  EXPECT_EQ(out.frames(), in.frames());
}

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kWav24 = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputFormats,
    ::testing::Values(
        FormatCase{"WavFollowsSixteenBitInput", kWav16, {"out.wav"}, "out.wav", kWav16},
        FormatCase{"WavFollowsFloatInput", kWavFloat, {"out.wav"}, "out.wav", kWavFloat},
        FormatCase{"Bits16", kWavFloat, {"out.wav", "--bits", "16"}, "out.wav", kWav16},
        FormatCase{"Bits24", kWav16, {"out.wav", "--bits", "24"}, "out.wav", kWav24},
        FormatCase{"Bits32", kWav16, {"out.wav", "--bits", "32"}, "out.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        FormatCase{"BitsFloat", kWav16, {"out.wav", "--bits", "float"}, "out.wav", kWavFloat},
        FormatCase{"FlacTakes24WhereTheInputIsFloat", kWavFloat, {"out.flac"}, "out.flac",
                   SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        FormatCase{"FlacFollowsSixteenBitInput", kWav16, {"out.flac"}, "out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        FormatCase{"AiffByUppercaseExtension", kWav24, {"out.AIFF"}, "out.AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        FormatCase{"CafFloat", kWav16, {"out.caf", "--bits", "float"}, "out.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT},
        FormatCase{"FormatOverridesTheExtension", kWav16, {"out.audio", "--format", "w64"}, "out.audio",
                   SF_FORMAT_W64 | SF_FORMAT_PCM_16},
        FormatCase{"OggVorbis", kWav16, {"out.ogg"}, "out.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}),
    [](const auto& info) { return std::string(info.param.name); });

// Integer files hold nothing beyond full scale: clipped rather than wrapped
// around, said in the report, and kept in a float file.
TEST(OutputFormats, BeyondFullScaleIsClippedInIntegerFilesAndKeptInFloat) {
  TempDir dir;
  writeSound(dir / "in.wav", sine(44100, 2, 0.5, 440.0, -6.0));
  const Ran clipped = render({"--plugin", TEST_EFFECT_LOUD, "in.wav", "out.wav", "--bits", "16"}, dir.path());
  ASSERT_EQ(clipped.exitCode, 0) << clipped.err;
  EXPECT_NE(clipped.out.find("clipped"), std::string::npos) << clipped.out;
  const Sound out = readSound(dir / "out.wav");
  for (std::size_t n = 0; n < out.frames(); ++n) {
    const float expected = static_cast<float>(std::sin(2.0 * M_PI * 440.0 * static_cast<double>(n) / 44100.0));
    ASSERT_GE(out.at(n, 0) * expected, -1e-3f) << "wrapped at frame " << n;  // never the opposite sign
  }
  const Ran kept = render({"--plugin", TEST_EFFECT_LOUD, "in.wav", "float.wav", "--json"}, dir.path());
  ASSERT_EQ(kept.exitCode, 0) << kept.err;
  EXPECT_NEAR(jsonNumber(kept.out, "after", "sample_peak_dbfs").value_or(0), 6.04, 0.01);
  EXPECT_EQ(jsonNumber(kept.out, "", "clipped_samples"), 0);
}

}  // namespace
}  // namespace rendertest
