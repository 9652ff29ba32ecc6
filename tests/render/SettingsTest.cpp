// Settings reach the plug-in as meant, --plugin swaps the effect, and the
// command line helps the person at it.

#include "RenderTestSupport.h"

#include "host/HostedPlugin.h"
#include "host/render/ParameterValues.h"

#include <pty.h>

namespace rendertest {
namespace {

// Every tenth from -30.0 to 0.0 dB, through the plug-in's own mapping: what
// it displays is the tenth we meant.
TEST(Settings, EveryTenthLandsExactlyInThePlugin) {
  std::string error;
  auto library = host::PluginLibrary::open(QUELMAR_PLUGIN_PATH, error, true);
  ASSERT_TRUE(library) << error;
  auto plugin = host::HostedPlugin::create(*library, {}, error);
  ASSERT_TRUE(plugin) << error;
  for (int tenths = -300; tenths <= 0; ++tenths) {
    for (VstInt32 index : {0, 1}) {
      plugin->setParameter(index, render::normalisedForTenths(tenths));
      char shown[64] = {};
      plugin->dispatch(effGetParamDisplay, index, 0, shown);
      char expected[16];
      std::snprintf(expected, sizeof expected, "%.1f", static_cast<float>(tenths) * 0.1f);
      ASSERT_STREQ(shown, expected) << "tenths " << tenths << " parameter " << index;
    }
  }
}

TEST(Settings, LinkIsSwitchedOnAfterThresholdAndCeilingAreSet) {
  TempDir dir;
  writeSound(dir / "in.wav", sine(44100, 2, 2.0, 440.0, -3.0));
  const Ran linked = render({"in.wav", "linked.wav", "--threshold", "-25", "--ceiling", "-10", "--link", "--json"},
                            dir.path());
  const Ran plain = render({"in.wav", "plain.wav", "--threshold", "-25", "--ceiling", "-10", "--json"}, dir.path());
  ASSERT_EQ(linked.exitCode, 0) << linked.err;
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(jsonNumber(linked.out, "", "threshold_db"), -25.0);
  EXPECT_EQ(jsonNumber(linked.out, "", "ceiling_db"), -10.0);
  EXPECT_NE(linked.out.find("\"link\": true"), std::string::npos);
  EXPECT_EQ(readSound(dir / "linked.wav").samples, readSound(dir / "plain.wav").samples);
}

TEST(Settings, AnotherBuildOfThePluginGivesTheSameSamples) {
  TempDir dir;
  writeSound(dir / "in.wav", sine(48000, 2, 2.0, 440.0, -3.0));
  std::filesystem::create_directory(dir / "other");
  std::filesystem::copy_file(QUELMAR_PLUGIN_PATH, dir / "other/Copy.so");
  const std::vector<std::string> settings = {"--threshold", "-9", "--ceiling", "-0.5", "--isp"};
  std::vector<std::string> defaultArgs = {"in.wav", "a.wav"};
  std::vector<std::string> otherArgs = {"in.wav", "b.wav", "--plugin", "other/Copy.so", "--json"};
  defaultArgs.insert(defaultArgs.end(), settings.begin(), settings.end());
  otherArgs.insert(otherArgs.end(), settings.begin(), settings.end());
  ASSERT_EQ(render(defaultArgs, dir.path()).exitCode, 0);
  const Ran other = render(otherArgs, dir.path());
  ASSERT_EQ(other.exitCode, 0) << other.err;
  EXPECT_NE(other.out.find("\"plugin\": \"other/Copy.so\""), std::string::npos) << other.out;
  EXPECT_EQ(readSound(dir / "a.wav").samples, readSound(dir / "b.wav").samples);
}

// A third-party VST 2.4 limiter, where installed: renders aligned through the
// same road as ours.
TEST(Settings, ThirdPartyStereoEffectRendersAligned) {
  const char* lsp = "/usr/lib/vst/lsp-plugins/limiter-stereo.so";
  if (!std::filesystem::exists(lsp)) GTEST_SKIP() << lsp << " is not installed";
  TempDir dir;
  Sound in = silence(48000, 2, 48000);
  in.samples[2 * 20000] = in.samples[2 * 20000 + 1] = 0.1f;
  writeSound(dir / "in.wav", in);
  const Ran run = render({"--plugin", lsp, "in.wav", "out.wav"}, dir.path(), RunLimits{{}, true});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Sound out = readSound(dir / "out.wav");
  ASSERT_EQ(out.frames(), in.frames());
  std::size_t loudest = 0;
  for (std::size_t n = 0; n < out.frames(); ++n) {
    if (std::fabs(out.at(n, 0)) > std::fabs(out.at(loudest, 0))) loudest = n;
  }
  EXPECT_EQ(loudest, 20000u);
}

TEST(CommandLine, HelpNamesEveryOptionAndVersionAnswers) {
  const Ran help = render({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option : {"--threshold", "--ceiling", "--link", "--isp", "--target-lufs", "--format", "--bits",
                             "--keep-latency", "--force", "--plugin", "--json", "--quiet", "--help", "--version",
                             "Examples:", "Exit status"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const Ran version = render({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("quelmar-render ", 0), 0u) << version.out;
}

TEST(CommandLine, WithoutFilesRendersTheBundledExample) {
  TempDir dir;
  const Ran run = render({"--threshold", "-6", "--ceiling", "-1"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("integrated (LUFS)"), std::string::npos);
  const Sound out = readSound(dir / "quelmar-example-master.wav");
  EXPECT_EQ(out.channels, 2);
  EXPECT_GT(out.frames(), 10u * 44100u);
}

// Ran on a terminal, a render longer than a second shows a bar on stderr;
// --quiet keeps it away.
std::string onTerminal(const std::vector<std::string>& args, const std::string& directory) {
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    if (chdir(directory.c_str()) != 0) _exit(126);
    std::vector<std::string> copies = args;
    std::vector<char*> argv = {const_cast<char*>(QUELMAR_RENDER_PATH)};
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(QUELMAR_RENDER_PATH, argv.data());
    _exit(127);
  }
  std::string seen;
  char buffer[4096];
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<std::size_t>(got));
  close(terminal);
  waitpid(child, nullptr, 0);
  return seen;
}

TEST(CommandLine, ProgressBarOnATerminalOnlyAndNotWhenQuiet) {
  TempDir dir;
  // Long enough that the search passes alone outlast the bar's first second:
  // noise bursts over a quiet tone, which the limiter bends enough to need
  // several passes (this target is out of reach).
  Sound in = silence(48000, 1, 600 * 48000);
  std::uint32_t state = 1;
  for (std::size_t n = 0; n < in.frames(); ++n) {
    state = state * 1664525u + 1013904223u;
    const float noise = static_cast<float>(state >> 8) / 16777216.0f - 0.5f;
    const float tone = 0.03f * static_cast<float>(std::sin(2.0 * M_PI * 440.0 * static_cast<double>(n) / 48000.0));
    in.samples[n] = n % 48000 < 4800 ? 0.6f * noise : tone;
  }
  in.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  writeSound(dir / "in.wav", in);
  const std::string shown = onTerminal({"in.wav", "a.wav", "--target-lufs", "-3"}, dir.path());
  const std::size_t pass = shown.find("search pass ");
  ASSERT_NE(pass, std::string::npos) << shown;
  const std::string line = shown.substr(pass, shown.find('%', pass) + 1 - pass);
  EXPECT_NE(line.find(" dB ["), std::string::npos) << line;
  EXPECT_NE(line.find("] "), std::string::npos) << line;
  EXPECT_NE(shown.find("final render ["), std::string::npos) << shown;
  const std::string quiet = onTerminal({"in.wav", "b.wav", "--quiet"}, dir.path());
  EXPECT_EQ(quiet.find('['), std::string::npos) << quiet;
  const Ran piped = render({"in.wav", "c.wav"}, dir.path());
  EXPECT_TRUE(piped.err.empty()) << piped.err;
}

}  // namespace
}  // namespace rendertest
