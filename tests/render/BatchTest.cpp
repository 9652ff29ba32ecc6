// Batches (--out-dir) and albums (--album): many files, one table, failures
// confined to their own file, and one threshold for an album's loudness.

#include "RenderTestSupport.h"

#include <ebur128.h>

#include <csignal>

namespace rendertest {
namespace {

// The example at a few levels, as the songs of a record differ.
void writeSongs(const TempDir& dir, const std::vector<std::string>& names, const std::vector<float>& gains) {
  const Sound example = readSound(QUELMAR_EXAMPLE_PATH);
  for (std::size_t i = 0; i < names.size(); ++i) {
    Sound song = example;
    song.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    song.samples.resize(song.samples.size() / 2);  // 8 s are enough
    for (float& sample : song.samples) sample *= gains[i];
    writeSound(dir / names[i], song);
  }
}

TEST(Batch, ABadFileInTheMiddleIsNamedAndSkippedAndTheOthersMatchSingleRenders) {
  TempDir dir;
  writeSongs(dir, {"a.wav", "c.wav", "d.flac"}, {1.0f, 0.5f, 0.8f});
  std::ofstream(dir / "bad.wav") << "not a sound file\n";
  std::filesystem::create_directory(dir / "one");
  std::filesystem::create_directory(dir / "three");
  const std::vector<std::string> settings = {"--threshold", "-6", "--ceiling", "-1", "--isp"};

  for (const char* jobs : {"1", "3"}) {
    std::vector<std::string> args = {"--out-dir", jobs[0] == '1' ? "one" : "three", "--jobs", jobs,
                                     "a.wav", "bad.wav", "c.wav", "d.flac"};
    args.insert(args.end(), settings.begin(), settings.end());
    const Ran run = render(args, dir.path());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("bad.wav: unreadable"), std::string::npos) << run.err;
    EXPECT_EQ(rowAfter(run.out, "bad.wav").at(0), "failed:") << run.out;
    EXPECT_EQ(rowAfter(run.out, "c.wav").at(0), "0:07.8") << run.out;
    EXPECT_NE(run.out.find("total: 3 of 4 files written, 1 failed"), std::string::npos) << run.out;
  }
  const std::vector<std::string> written = {"a.wav", "c.wav", "d.flac"};
  for (const char* out : {"one", "three"}) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir / out)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, written) << "nothing else, no temporary files";
  }
  // Parallel or not, each file is exactly what rendering it alone gives.
  for (const std::string& name : written) {
    std::vector<std::string> args = {name, "alone-" + name};
    args.insert(args.end(), settings.begin(), settings.end());
    ASSERT_EQ(render(args, dir.path()).exitCode, 0);
    const Sound alone = readSound(dir / ("alone-" + name));
    EXPECT_EQ(readSound(dir / ("one/" + name)).samples, alone.samples) << name;
    EXPECT_EQ(readSound(dir / ("three/" + name)).samples, alone.samples) << name;
  }
}

TEST(Batch, TheDirectoryMustExistAndTakeFiles) {
  TempDir dir;
  writeSongs(dir, {"a.wav"}, {1.0f});
  std::ofstream(dir / "plain") << "a file\n";
  const std::vector<std::string> before = dir.entries();
  struct Case {
    std::string directory, cause;
  };
  for (const Case& c : {Case{"missing", "no such directory"}, Case{"plain", "is not a directory"},
                        Case{"/proc", "cannot write there"}}) {
    const Ran run = render({"--out-dir", c.directory, "a.wav"}, dir.path());
    EXPECT_EQ(run.exitCode, 1) << c.directory;
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
    EXPECT_NE(run.err.find(c.directory + ": " + c.cause), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries(), before);
  }
}

TEST(Batch, NamesComeFromTheInputsAndMayNotCollide) {
  TempDir dir;
  std::filesystem::create_directory(dir / "x");
  std::filesystem::create_directory(dir / "out");
  writeSongs(dir, {"a.wav", "x/a.wav"}, {1.0f, 1.0f});
  const Ran clash = render({"--out-dir", "out", "a.wav", "x/a.wav"}, dir.path());
  EXPECT_EQ(clash.exitCode, 2);
  EXPECT_NE(clash.err.find("would both be written to out/a.wav"), std::string::npos) << clash.err;

  const Ran flac = render({"-o", "out/", "--format", "flac", "--bits", "16", "--json", "x/a.wav"}, dir.path());
  ASSERT_EQ(flac.exitCode, 0) << flac.err;
  EXPECT_EQ(readSound(dir / "out/a.flac").format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_NE(flac.out.find("\"output\": \"out/a.flac\""), std::string::npos) << flac.out;
  EXPECT_EQ(jsonNumber(flac.out, "total", "written"), 1);
  EXPECT_EQ(jsonNumber(flac.out, "total", "failed"), 0);
}

// Interrupted with two files under way, both temporary files go with the process.
TEST(Batch, InterruptedLeavesNoTemporaryFiles) {
  TempDir dir;
  Sound in = sine(48000, 2, 120.0, 440.0, -6.0);
  in.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  writeSound(dir / "a.wav", in);
  writeSound(dir / "b.wav", in);
  std::filesystem::create_directory(dir / "out");
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execl(QUELMAR_RENDER_PATH, QUELMAR_RENDER_PATH, "--out-dir", "out", "--jobs", "2", "a.wav", "b.wav",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  bool sawBoth = false;
  for (int i = 0; i < 4000 && !sawBoth; ++i) {
    usleep(5000);
    std::size_t temporaries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "out")) {
      temporaries += entry.path().filename().string().find(".quelmar-") != std::string::npos;
    }
    sawBoth = temporaries == 2;
  }
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(sawBoth);
  ASSERT_TRUE(WIFSIGNALED(status)) << "finished before it could be interrupted";
  EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
}

double albumLoudness(const std::vector<std::string>& paths) {
  std::vector<ebur128_state*> states;
  for (const std::string& path : paths) {
    const Sound sound = readSound(path);
    ebur128_state* state = ebur128_init(static_cast<unsigned>(sound.channels), static_cast<unsigned long>(sound.rate),
                                        EBUR128_MODE_I);
    ebur128_add_frames_float(state, sound.samples.data(), sound.frames());
    states.push_back(state);
  }
  double lufs = 0.0;
  ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
  for (ebur128_state*& state : states) ebur128_destroy(&state);
  return lufs;
}

TEST(Album, OneThresholdLandsTheWholeAlbumOnTheTarget) {
  TempDir dir;
  const std::vector<std::string> songs = {"loud.wav", "middle.wav", "quiet.wav", "ballad.wav"};
  writeSongs(dir, songs, {1.0f, 0.6f, 0.35f, 0.15f});
  std::filesystem::create_directory(dir / "out");
  std::vector<std::string> args = {"--out-dir", "out", "--album", "--target-lufs", "-13", "--ceiling", "-1", "--isp",
                                   "--json", "--jobs", "2"};
  args.insert(args.end(), songs.begin(), songs.end());
  const Ran run = render(args, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;

  std::vector<std::string> outputs;
  for (const std::string& song : songs) outputs.push_back(dir / ("out/" + song));
  const double measured = albumLoudness(outputs);
  EXPECT_NEAR(measured, -13.0, 0.1);
  EXPECT_NEAR(jsonNumber(run.out, "album", "output_integrated_lufs").value_or(0), measured, 0.005);
  EXPECT_LE(jsonNumber(run.out, "album", "passes").value_or(99), 6);
  EXPECT_NE(run.out.find("\"result\": \"reached\""), std::string::npos) << run.out;

  // Every song at the album's threshold: their loudness keeps its order, and
  // each is what a single render at that threshold gives.
  char threshold[16];
  std::snprintf(threshold, sizeof threshold, "%.1f", jsonNumber(run.out, "album", "threshold_db").value_or(0));
  double previous = 0.0;
  for (std::size_t i = 0; i < songs.size(); ++i) {
    const Ran alone =
        render({songs[i], "alone.wav", "--threshold", threshold, "--ceiling", "-1", "--isp", "--json", "--force"},
               dir.path());
    ASSERT_EQ(alone.exitCode, 0) << alone.err;
    EXPECT_EQ(readSound(dir / "alone.wav").samples, readSound(outputs[i]).samples) << songs[i];
    const double lufs = jsonNumber(alone.out, "after", "integrated_lufs").value_or(0);
    if (i > 0) {
      EXPECT_LT(lufs, previous - 1.0) << songs[i];
    }
    previous = lufs;
  }
  const Ran table = render({"--out-dir", "out", "--album", "--target-lufs", "-13", "--ceiling", "-1", "--isp",
                            "--force", "loud.wav", "quiet.wav"},
                           dir.path());
  ASSERT_EQ(table.exitCode, 0) << table.err;
  EXPECT_NE(table.out.find("whole album: target -13.0 LUFS: threshold"), std::string::npos) << table.out;
  EXPECT_EQ(rowAfter(table.out, "album").size(), 2u) << table.out;
}

}  // namespace
}  // namespace rendertest
