// What leaves the renderer: warnings for a master at risk over its ceiling,
// standard input and output as files, and the picture of the render.

#include "RenderTestSupport.h"

#include "host/render/Plot.h"

#include <cairo.h>

#include <csignal>

namespace rendertest {
namespace {

std::vector<std::string> warningsIn(const std::string& err) {
  std::vector<std::string> lines;
  std::istringstream text(err);
  for (std::string line; std::getline(text, line);) {
    if (line.rfind("quelmar-render: warning: ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

TEST(Warnings, ForAMasterOverItsCeilingOrALossyFormatWithoutHeadroom) {
  TempDir dir;
  const std::vector<std::string> drive = {"--threshold", "-6", "--json"};
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> says;  // a phrase of each warning, in order
  };
  for (const Case& c : {Case{{"out.mp3"}, {"ISP is off", "MP3 with a 0.0 dB ceiling"}},
                        Case{{"out.wav", "--ceiling", "-1"}, {"is over the -1.0 dB ceiling: ISP is off"}},
                        Case{{"isp.wav", "--ceiling", "-1", "--isp"}, {}}}) {
    std::vector<std::string> args = {QUELMAR_EXAMPLE_PATH};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), drive.begin(), drive.end());
    const Ran run = render(args, dir.path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> warnings = warningsIn(run.err);
    ASSERT_EQ(warnings.size(), c.says.size()) << run.err;
    for (std::size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_NE(warnings[i].find(c.args[0] + ": "), std::string::npos) << warnings[i];
      EXPECT_NE(warnings[i].find(c.says[i]), std::string::npos) << warnings[i];
      EXPECT_NE(warnings[i].find("--ceiling -"), std::string::npos) << "names the ceiling to use: " << warnings[i];
      EXPECT_NE(run.out.find(warnings[i].substr(25)), std::string::npos) << "and the JSON holds it";
    }
    if (c.says.empty()) {
      EXPECT_NE(run.out.find("\"warnings\": []"), std::string::npos) << run.out;
    }
  }
}

TEST(Streams, StandardInputToStandardOutputGivesTheSamplesOfFileToFile) {
  TempDir dir;
  Sound in = sine(44100, 2, 3.0, 440.0, -3.0);
  in.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  writeSound(dir / "in.wav", in);
  const std::vector<std::string> settings = {"--threshold", "-6", "--ceiling", "-1", "--isp", "--format", "flac"};
  std::vector<std::string> files = {"in.wav", "file.flac"};
  std::vector<std::string> streams = {"-", "-", "--json"};
  files.insert(files.end(), settings.begin(), settings.end());
  streams.insert(streams.end(), settings.begin(), settings.end());
  ASSERT_EQ(render(files, dir.path()).exitCode, 0);
  RunLimits piped;
  piped.pipeIn = "in.wav";
  const Ran run = render(streams, dir.path(), piped);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("\"input\": \"-\""), std::string::npos) << "the report goes to stderr: " << run.err;
  std::ofstream(dir / "stream.flac", std::ios::binary) << run.out;
  EXPECT_EQ(readSound(dir / "stream.flac").samples, readSound(dir / "file.flac").samples);

  // A searched threshold takes several passes over what a pipe gives once.
  const Ran searched = render({"-", "searched.wav", "--target-lufs", "-12"}, dir.path(), piped);
  EXPECT_EQ(searched.exitCode, 0) << searched.err;

  const Ran refused = render({"in.wav", "-", "--format", "wav"}, dir.path());
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("WAV 16-bit cannot be streamed"), std::string::npos) << refused.err;
  RunLimits toFile;
  toFile.stdoutFile = "redirected.wav";
  EXPECT_EQ(render({"in.wav", "-", "--format", "wav"}, dir.path(), toFile).exitCode, 0);
  EXPECT_EQ(readSound(dir / "redirected.wav").frames(), in.frames());
}

TEST(Streams, AnInterruptedRenderToAFileOnStandardOutputLeavesItEmpty) {
  TempDir dir;
  Sound in = sine(48000, 2, 240.0, 440.0, -6.0);
  in.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  writeSound(dir / "in.wav", in);
  const std::string out = dir / "out.wav";
  const pid_t child = fork();
  if (child == 0) {
    const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, STDOUT_FILENO);
    execl(QUELMAR_RENDER_PATH, QUELMAR_RENDER_PATH, (dir / "in.wav").c_str(), "-", "--format", "wav",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  bool writing = false;
  for (int i = 0; i < 2000 && !writing; ++i) {
    usleep(5000);
    writing = std::filesystem::file_size(out) > 1000000;
  }
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(writing);
  ASSERT_TRUE(WIFSIGNALED(status)) << "finished before it could be interrupted";
  EXPECT_EQ(std::filesystem::file_size(out), 0u);
}

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB
  bool near(int x, int y, std::uint32_t rgb) const {
    const std::uint32_t p = pixels[static_cast<std::size_t>(y * width + x)];
    for (int shift : {0, 8, 16}) {
      if (std::abs(static_cast<int>((p >> shift) & 0xff) - static_cast<int>((rgb >> shift) & 0xff)) > 24) return false;
    }
    return true;
  }
};

Picture readPng(const std::string& path) {
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  Picture picture;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    picture.width = cairo_image_surface_get_width(surface);
    picture.height = cairo_image_surface_get_height(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < picture.height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
      for (int x = 0; x < picture.width; ++x) picture.pixels.push_back(row[x] & 0xffffff);
    }
  }
  cairo_surface_destroy(surface);
  return picture;
}

// Along a band of columns: the highest row showing the output's loudness, and
// how many pixels show gain reduction.
struct Band {
  double loudnessRow = 0.0;
  int reductionPixels = 0;
};

// Between these seconds of a 30 s song; its time axis runs between margins
// of about a twentieth of the width, below the title and legend.
Band band(const Picture& picture, double from, double to) {
  auto column = [&](double seconds) { return static_cast<int>(picture.width * (0.05 + 0.9 * seconds / 30.0)); };
  Band band;
  int columns = 0;
  for (int x = column(from); x < column(to); ++x) {
    for (int y = picture.height / 8; y < picture.height; ++y) {
      if (picture.near(x, y, render::kOutputLoudnessColour)) {
        band.loudnessRow += y;
        ++columns;
        break;
      }
    }
    for (int y = picture.height * 2 / 3; y < picture.height; ++y) {
      band.reductionPixels += picture.near(x, y, render::kReductionColour);
    }
  }
  band.loudnessRow /= std::max(columns, 1);
  return band;
}

TEST(Plot, CurvesRiseAndReductionShowsWhereTheSongIsLoud) {
  TempDir dir;
  // Quiet, loud, quiet: 10 s each.
  Sound in = sine(44100, 2, 30.0, 440.0, -30.0);
  for (std::size_t n = 10 * 44100; n < 20 * 44100; ++n) {
    for (int c = 0; c < 2; ++c) in.samples[2 * n + static_cast<std::size_t>(c)] *= 16.0f;
  }
  writeSound(dir / "in.wav", in);
  const Ran run = render({"in.wav", "out.wav", "--threshold", "-12", "--ceiling", "-1", "--isp", "--plot", "p.png"},
                         dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("plot: p.png"), std::string::npos) << run.out;
  const Picture picture = readPng(dir / "p.png");
  ASSERT_EQ(picture.width, render::kPlotWidth);
  ASSERT_EQ(picture.height, render::kPlotHeight);
  // Clear of the 3 s the short-term loudness takes to follow a change.
  const Band quiet = band(picture, 4.0, 9.0);
  const Band loud = band(picture, 14.0, 19.0);
  EXPECT_LT(loud.loudnessRow + 100, quiet.loudnessRow) << "24 dB louder reads far higher";
  EXPECT_GT(loud.reductionPixels, 2000);
  EXPECT_EQ(quiet.reductionPixels, 0);

  // A batch draws one per input, and an existing picture needs --force.
  std::filesystem::create_directory(dir / "out");
  std::filesystem::create_directory(dir / "plots");
  writeSound(dir / "b.flac", sine(44100, 1, 1.0, 440.0, -6.0));
  ASSERT_EQ(render({"-o", "out", "--plot-dir", "plots", "in.wav", "b.flac"}, dir.path()).exitCode, 0);
  EXPECT_EQ(readPng(dir / "plots/b.png").width, render::kPlotWidth);
  EXPECT_EQ(readPng(dir / "plots/in.png").width, render::kPlotWidth);
  const Ran again = render({"in.wav", "again.wav", "--plot", "p.png"}, dir.path());
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("p.png: already exists"), std::string::npos) << again.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "again.wav"));
}

}  // namespace
}  // namespace rendertest
