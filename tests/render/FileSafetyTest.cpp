// Failures: each says in one line which file and why, exits non-zero, leaves
// no file behind and touches no file it should not.

#include "RenderTestSupport.h"

#include <csignal>
#include <sys/stat.h>

namespace rendertest {
namespace {

struct Failure {
  const char* name;
  std::vector<std::string> args;  // run in a directory holding in.wav (stereo), mono.wav, text.wav, six.wav
  int exitCode;
  std::string mentions;  // the file named in the line
  std::string cause;     // and a word of the cause
};

class Failures : public ::testing::TestWithParam<Failure> {};

TEST_P(Failures, OneLineNoLeftovers) {
  const Failure& f = GetParam();
  TempDir dir;
  writeSound(dir / "in.wav", sine(44100, 2, 0.5, 440.0, -6.0));
  writeSound(dir / "six.wav", silence(44100, 6, 4410));
  std::ofstream(dir / "text.wav") << "not a sound file\n";
  std::filesystem::create_directory(dir / "sub");
  std::ofstream(dir / "plain") << "a file, not a directory\n";
  const std::vector<std::string> before = dir.entries();

  const Ran run = render(f.args, dir.path());
  EXPECT_EQ(run.exitCode, f.exitCode) << run.err;
  EXPECT_EQ(lineCount(run.err), 1) << run.err;
  EXPECT_EQ(run.err.rfind("quelmar-render: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(f.mentions), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(f.cause), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_EQ(dir.entries(), before);
  EXPECT_TRUE(std::filesystem::is_empty(dir / "sub"));
}

const std::string kLate = TEST_EFFECT_LATE_DELAY;

INSTANTIATE_TEST_SUITE_P(
    Cases, Failures,
    ::testing::Values(
        Failure{"MissingInput", {"gone.wav", "out.wav"}, 1, "gone.wav", "no such file"},
        Failure{"UnreadableInput", {"text.wav", "out.wav"}, 1, "text.wav", "unsupported"},
        Failure{"SixChannels", {"six.wav", "out.wav"}, 1, "six.wav", "6 channels"},
        Failure{"MissingDirectory", {"in.wav", "nowhere/out.wav"}, 1, "nowhere/out.wav", "No such file"},
        Failure{"ParentIsAFile", {"in.wav", "plain/out.wav"}, 1, "plain/out.wav", "Not a directory"},
        Failure{"OutputIsADirectory", {"in.wav", "sub", "--format", "wav"}, 1, "sub", "directory"},
        Failure{"PluginMissing", {"--plugin", "none.so", "in.wav", "sub/out.wav"}, 1, "none.so", "cannot load"},
        Failure{"PluginNotStereo", {"--plugin", TEST_EFFECT_MONO, "in.wav", "sub/out.wav"}, 1, TEST_EFFECT_MONO,
                "not a stereo effect"},
        Failure{"PluginMakesNoInstance", {"--plugin", TEST_EFFECT_NO_INSTANCE, "in.wav", "sub/out.wav"}, 1,
                TEST_EFFECT_NO_INSTANCE, "no instance"},
        Failure{"PluginProducesNaN", {"--plugin", TEST_EFFECT_NAN, "in.wav", "sub/out.wav"}, 1, TEST_EFFECT_NAN,
                "non-finite sample"},
        Failure{"OutputIsInput", {"in.wav", "in.wav", "--force"}, 2, "in.wav", "is the input"},
        Failure{"OutputIsInputByAnotherName", {"in.wav", "./sub/../in.wav", "--force"}, 2, "in.wav", "is the input"},
        Failure{"UnknownOption", {"--loud", "in.wav", "sub/out.wav"}, 2, "--loud", "unknown option"},
        Failure{"ThresholdOutOfRange", {"in.wav", "sub/out.wav", "--threshold", "3"}, 2, "--threshold", "-30 to 0"},
        Failure{"CeilingOffTheGrid", {"in.wav", "sub/out.wav", "--ceiling", "-0.25"}, 2, "--ceiling", "0.1 dB"},
        Failure{"ThresholdNotANumber", {"in.wav", "sub/out.wav", "--threshold", "loud"}, 2, "--threshold", "number"},
        Failure{"MissingValue", {"in.wav", "sub/out.wav", "--ceiling"}, 2, "--ceiling", "needs a value"},
        Failure{"NoOutput", {"in.wav"}, 2, "output", "INPUT OUTPUT"},
        Failure{"UnknownExtension", {"in.wav", "sub/out.xyz"}, 2, "out.xyz", "--format"},
        Failure{"BitsForLossy", {"in.wav", "sub/out.ogg", "--bits", "24"}, 2, "--bits", "Ogg Vorbis"},
        Failure{"FloatInFlac", {"in.wav", "sub/out.flac", "--bits", "float"}, 2, "FLAC", "16 or 24"},
        Failure{"DitherForFloat", {"in.wav", "sub/out.wav", "--bits", "float", "--dither", "tpdf"}, 2, "--dither",
                "integer samples"},
        Failure{"UnknownDither", {"in.wav", "sub/out.wav", "--dither", "noise"}, 2, "--dither", "none or tpdf"},
        Failure{"AlbumWithoutTarget", {"--out-dir", "sub", "--album", "in.wav"}, 2, "--album", "--target-lufs"},
        Failure{"AlbumOfOneFileWithoutOutDir", {"--album", "--target-lufs", "-14", "in.wav", "sub/out.wav"}, 2,
                "--album", "--out-dir"},
        Failure{"JobsNotANumber", {"--out-dir", "sub", "--jobs", "many", "in.wav"}, 2, "--jobs", "1 to 256"},
        Failure{"TargetAndThreshold", {"in.wav", "sub/out.wav", "--target-lufs", "-14", "--threshold", "-3"}, 2,
                "--target-lufs", "--threshold"},
        Failure{"SettingsForAnotherEffect", {"--plugin", kLate, "in.wav", "sub/out.wav", "--isp"}, 2, kLate,
                "no Quelmar parameters"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExistingOutput, IsLeftAloneWithoutForceAndReplacedWithIt) {
  TempDir dir;
  writeSound(dir / "in.wav", sine(44100, 2, 0.5, 440.0, -6.0));
  std::ofstream(dir / "out.wav") << "precious";
  struct stat before {};
  stat((dir / "out.wav").c_str(), &before);

  const Ran refused = render({"in.wav", "out.wav"}, dir.path());
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("out.wav: already exists; give --force"), std::string::npos) << refused.err;
  std::ifstream kept(dir / "out.wav");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "precious");
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));

  chmod((dir / "out.wav").c_str(), 0640);
  const Ran forced = render({"in.wav", "out.wav", "--force"}, dir.path());
  ASSERT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_EQ(readSound(dir / "out.wav").frames(), 22050u);
  struct stat after {};
  stat((dir / "out.wav").c_str(), &after);
  EXPECT_EQ(after.st_mode & 07777, 0640u);  // the replaced file keeps its permissions
  EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

// A full disk, played by a file-size limit: the write fails part-way, for the
// formats that write as they go and the one that finishes on close.
TEST(FullDisk, FailsCleanlyWhileWritingAndWhileFinishing) {
  TempDir dir;
  // Noise, so that no encoder can squeeze it under the limit.
  Sound in = silence(44100, 2, 3 * 44100);
  std::uint32_t state = 1;
  for (float& sample : in.samples) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
  }
  writeSound(dir / "in.wav", in);
  for (const char* output : {"out.wav", "out.flac", "out.aiff"}) {
    const Ran run = render({"in.wav", output}, dir.path(), RunLimits{200000});
    EXPECT_EQ(run.exitCode, 1) << output;
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
    EXPECT_NE(run.err.find(std::string(output) + ": cannot write"), std::string::npos) << run.err;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"}) << output;
  }
}

// Interrupted mid-render, the temporary file goes with the process.
TEST(Interrupt, RemovesTheTemporaryFile) {
  TempDir dir;
  Sound in = sine(48000, 2, 240.0, 440.0, -6.0);
  in.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  writeSound(dir / "in.wav", in);
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execl(QUELMAR_RENDER_PATH, QUELMAR_RENDER_PATH, "in.wav", "out.wav", static_cast<char*>(nullptr));
    _exit(127);
  }
  bool sawTemporary = false;
  for (int i = 0; i < 2000 && !sawTemporary; ++i) {
    usleep(5000);
    sawTemporary = dir.entries().size() == 2;
  }
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(sawTemporary);
  ASSERT_TRUE(WIFSIGNALED(status)) << "finished before it could be interrupted";
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.wav"});
}

}  // namespace
}  // namespace rendertest
