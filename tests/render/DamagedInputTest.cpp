// Inputs cut short: a render of one fails and writes nothing, in a batch
// alone, and --allow-short renders what could be read and says so.

#include "RenderTestSupport.h"

namespace rendertest {
namespace {

// The bundled example as a 10 s file of this format, cut to `share` of its bytes.
void writeCut(const std::string& path, int format, double share) {
  Sound song = readSound(QUELMAR_EXAMPLE_PATH);
  song.samples.resize(static_cast<std::size_t>(10 * song.rate * song.channels));
  song.format = format;
  writeSound(path, song);
  const auto bytes = std::filesystem::file_size(path);
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(static_cast<double>(bytes) * share));
}

// What libsndfile delivers before it stops or fails.
std::size_t readableFrames(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  std::vector<float> buffer(4096 * static_cast<std::size_t>(info.channels));
  std::size_t frames = 0;
  for (sf_count_t got; (got = sf_readf_float(file, buffer.data(), 4096)) > 0;) {
    frames += static_cast<std::size_t>(got);
    if (got < 4096) break;
  }
  sf_close(file);
  return frames;
}

class CutInputs : public ::testing::Test {
 protected:
  void SetUp() override {
    writeCut(dir / "cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.76);
    writeCut(dir / "cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0.7);
    writeCut(dir / "whole.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1.0);
    std::filesystem::create_directory(dir / "out");
  }
  TempDir dir;
};

TEST_F(CutInputs, FailAndLeaveNothingAloneAndInABatch) {
  const std::vector<std::string> before = dir.entries();
  for (const std::string cut : {"cut.wav", "cut.flac"}) {
    const Ran run = render({cut, "out.wav"}, dir.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
    // Where it broke off, of how much, and libsndfile's own words.
    EXPECT_NE(run.err.find(cut + ": broken off at "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" of 0:10.0 (frame "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" of 441000): libsndfile says \""), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--allow-short"), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries(), before);
  }
  EXPECT_NE(render({"cut.flac", "out.wav"}, dir.path()).err.find("lost sync"), std::string::npos);

  const Ran batch = render({"--out-dir", "out", "cut.wav", "whole.wav", "cut.flac", "--json"}, dir.path());
  EXPECT_EQ(batch.exitCode, 1) << batch.err;
  EXPECT_EQ(lineCount(batch.err), 2) << batch.err;
  EXPECT_EQ(jsonNumber(batch.out, "total", "written"), 1);
  std::vector<std::string> written;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "out")) written.push_back(entry.path().filename());
  EXPECT_EQ(written, std::vector<std::string>{"whole.wav"});
}

TEST_F(CutInputs, AllowShortRendersTheReadablePartAndSaysSo) {
  for (const std::string cut : {"cut.wav", "cut.flac"}) {
    const std::size_t readable = readableFrames(dir / cut);
    ASSERT_GT(readable, 44100u * 6);
    ASSERT_LT(readable, 44100u * 9);
    const Ran run = render({cut, "out/" + cut + ".wav", "--allow-short", "--json"}, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readSound(dir / ("out/" + cut + ".wav")).frames(), readable);
    EXPECT_EQ(jsonNumber(run.out, "short_input", "read_frames"), readable);
    EXPECT_EQ(jsonNumber(run.out, "short_input", "promised_frames"), 441000);
    EXPECT_NE(run.err.find("warning: " + cut + ": broken off at"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("rendered the part that could be read"), std::string::npos) << run.out;
  }
  const Ran whole = render({"whole.wav", "out/whole.wav", "--allow-short", "--json"}, dir.path());
  ASSERT_EQ(whole.exitCode, 0) << whole.err;
  EXPECT_NE(whole.out.find("\"short_input\": null"), std::string::npos) << whole.out;
}

}  // namespace
}  // namespace rendertest
