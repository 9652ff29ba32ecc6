// quelmar.lv2 in a real session: Ardour's headless Lua interpreter builds a
// session on its dummy backend, bounces noise through the plug-in, saves,
// reloads. The script prints its figures; they are checked here.

#include <gtest/gtest.h>

#include "CommandOutput.h"

#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command) { return runCommand(command).output; }

std::map<std::string, std::string> figuresIn(const std::string& output) {
  std::map<std::string, std::string> figures;
  const std::regex line("^quelmar: (\\S+) (.*)$");
  std::istringstream lines(output);
  for (std::string text; std::getline(lines, text);) {
    std::smatch match;
    if (std::regex_match(text, match, line)) figures[match[1]] = match[2];
  }
  return figures;
}

double number(const std::map<std::string, std::string>& figures, const std::string& key) {
  const auto found = figures.find(key);
  return found == figures.end() ? std::nan("") : std::stod(found->second);
}

}  // namespace

TEST(RealHosts, ArdourSessionBouncesAndRecallsTheLv2Plugin) {
  const char* interpreter = "/usr/bin/ardour7-lua";
  if (!fs::exists(interpreter)) GTEST_SKIP() << "Ardour 7 is not installed";
  // A home of its own: Ardour writes its configuration and caches there.
  const fs::path home = fs::temp_directory_path() / ("quelmar-ardour-lv2-" + std::to_string(getpid()));
  fs::remove_all(home);
  fs::create_directories(home);
  const std::string h = home.string();
  const std::string command = "env -u DISPLAY HOME='" + h + "' XDG_CONFIG_HOME='" + h + "/.config' XDG_CACHE_HOME='" +
                              h + "/.cache' XDG_DATA_HOME='" + h + "/.local/share' LV2_PATH='" +
                              fs::absolute(QUELMAR_LV2_PATH).string() + ":/usr/lib/lv2' timeout 240 " + interpreter +
                              " -- '" + QUELMAR_ARDOUR_SCRIPT + "' '" + h + "/session' </dev/null 2>&1";
  std::cout << command << "\n";
  const std::string output = run(command);
  std::cout << output;
  const auto figures = figuresIn(output);

  ASSERT_EQ(figures.count("error"), 0u) << output;
  ASSERT_EQ(figures.count("done"), 1u) << output;
  EXPECT_EQ(output.find("[ERROR]"), std::string::npos) << output;
  EXPECT_EQ(number(figures, "rate"), 48000);
  EXPECT_EQ(figures.at("plugin"), "Quelmar");

  // 1.25 ms at 48 kHz, six more with inter-sample detection.
  EXPECT_EQ(number(figures, "latency_isp_off"), 60);
  EXPECT_EQ(number(figures, "latency_isp_on"), 66);
  EXPECT_EQ(number(figures, "track_latency"), 66);

  // Noise peaking just over full scale, driven 12 dB into a -1 dB ceiling.
  EXPECT_GT(number(figures, "noise_peak_dbfs"), -0.5);
  EXPECT_EQ(number(figures, "bounce_samples"), 5 * 48000);
  EXPECT_EQ(number(figures, "bounce_channels"), 2);
  const double peak = number(figures, "bounce_peak");
  EXPECT_LE(peak, std::pow(10.0, -1.0 / 20.0) * 1.0001);
  EXPECT_GT(peak, std::pow(10.0, -3.0 / 20.0));
  // Ardour compensated the bounce by the latency the plug-in reported: a
  // wrong report leaves the output shifted against the noise.
  EXPECT_EQ(number(figures, "bounce_lag"), 0);

  EXPECT_EQ(figures.at("reloaded_plugin"), "Quelmar");
  EXPECT_NEAR(number(figures, "recalled_threshold"), -12.0, 1e-3);
  EXPECT_NEAR(number(figures, "recalled_output"), -1.0, 1e-3);
  EXPECT_EQ(number(figures, "recalled_fader_link"), 0);
  EXPECT_EQ(number(figures, "recalled_isp_detection"), 1);
  EXPECT_EQ(number(figures, "reloaded_latency"), 66);
  if (!HasFailure()) fs::remove_all(home);
}
