// What leaves the renderer: warnings for a master at risk over its ceiling,
// and standard input and output as files.

#include "RenderTestSupport.h"

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

}  // namespace
}  // namespace rendertest
