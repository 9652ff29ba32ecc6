// Two real third-party hosts scan the built plug-in; what they report must be
// what our own host sees in the record. Both scanners exit 0 even when they
// fail, so their output is what counts.

#include "host/HostedPlugin.h"

#include <gtest/gtest.h>

#include "CommandOutput.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command) { return runCommand(command).output; }

struct Expected {
  std::string name;
  int inputs, outputs;
  bool editor;
  int uniqueID;
};

Expected whatOurHostSees() {
  std::string error;
  auto library = host::PluginLibrary::open(QUELMAR_PLUGIN_PATH, error);
  EXPECT_TRUE(library) << error;
  auto plugin = host::HostedPlugin::create(*library, {}, error);
  EXPECT_TRUE(plugin) << error;
  char name[256] = {};
  plugin->dispatch(effGetEffectName, 0, 0, name);
  const AEffect* e = plugin->effect();
  return {name, e->numInputs, e->numOutputs, (e->flags & effFlagsHasEditor) != 0, e->uniqueID};
}

std::string absolutePlugin() { return fs::absolute(QUELMAR_PLUGIN_PATH).string(); }

}  // namespace

TEST(RealHosts, ArdourScannerFindsThePlugin) {
  const char* scanner = "/usr/lib/ardour7/ardour-vst-scanner";
  if (!fs::exists(scanner)) GTEST_SKIP() << "Ardour is not installed";
  const fs::path home = fs::temp_directory_path() / ("quelmar-ardour-" + std::to_string(getpid()));
  fs::remove_all(home);
  fs::create_directories(home);
  const std::string output = run("HOME=" + home.string() + " LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 " +
                                 scanner + " -f -v '" + absolutePlugin() + "' 2>&1");
  const Expected expected = whatOurHostSees();
  EXPECT_NE(output.find("Found Plugin"), std::string::npos) << output;
  EXPECT_NE(output.find(expected.name), std::string::npos) << output;

  std::string cache;
  for (const auto& entry : fs::recursive_directory_iterator(home / ".cache" / "ardour7" / "vst")) {
    if (entry.path().extension() == ".v2i") {
      std::ifstream in(entry.path());
      std::stringstream text;
      text << in.rdbuf();
      cache = text.str();
    }
  }
  ASSERT_FALSE(cache.empty()) << output;
  EXPECT_NE(cache.find("name=\"" + expected.name + "\""), std::string::npos) << cache;
  EXPECT_NE(cache.find("creator=\"Orvel Stamik\""), std::string::npos) << cache;
  EXPECT_NE(cache.find("id=\"" + std::to_string(expected.uniqueID) + "\""), std::string::npos) << cache;
  EXPECT_NE(cache.find("n_inputs=\"2\""), std::string::npos) << cache;
  EXPECT_NE(cache.find("n_outputs=\"2\""), std::string::npos) << cache;
  EXPECT_NE(cache.find(std::string("has_editor=\"") + (expected.editor ? "1" : "0") + "\""), std::string::npos)
      << cache;
  fs::remove_all(home);
}

// Qtractor's scanner offers no host extensions at all: the plug-in must still
// describe its ports, parameters and GUI to it.
TEST(RealHosts, QtractorScannerFindsTheClapPlugin) {
  const char* scanner = "/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan";
  if (!fs::exists(scanner)) GTEST_SKIP() << "Qtractor is not installed";
  const fs::path home = fs::temp_directory_path() / ("quelmar-qtractor-clap-" + std::to_string(getpid()));
  fs::create_directories(home);
  const std::string output = run("echo 'CLAP:" + fs::absolute(QUELMAR_CLAP_PATH).string() + "' | HOME=" +
                                 home.string() + " QT_QPA_PLATFORM=offscreen timeout 120 " + scanner + " 2>&1");
  // CLAP|name|audio in:out|midi in:out|controls in:out|flags|path|index|id
  const std::regex line("CLAP\\|Quelmar\\|2:2\\|0:0\\|4:0\\|([^|]*)\\|");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(output, match, line)) << output;
  EXPECT_NE(match[1].str().find("GUI"), std::string::npos) << match[1];
  fs::remove_all(home);
}

TEST(RealHosts, QtractorScannerFindsThePlugin) {
  const char* scanner = "/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan";
  if (!fs::exists(scanner)) GTEST_SKIP() << "Qtractor is not installed";
  const fs::path home = fs::temp_directory_path() / ("quelmar-qtractor-" + std::to_string(getpid()));
  fs::create_directories(home);
  // Qtractor's scanner answers the version request with 2; any non-zero answer must do.
  const std::string output = run("echo 'VST:" + absolutePlugin() + "' | HOME=" + home.string() +
                                 " QT_QPA_PLATFORM=offscreen timeout 120 " + scanner + " 2>&1");
  const Expected expected = whatOurHostSees();
  // One line per plug-in: VST|name|inputs:outputs|midi in:out|parameters:...|flags|path|index|id
  const std::regex line("VST\\|([^|]*)\\|(\\d+):(\\d+)\\|[^|]*\\|(\\d+):[^|]*\\|([^|]*)\\|[^|]*\\|\\d+\\|(0x[0-9a-f]+)");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(output, match, line)) << output;
  EXPECT_EQ(match[1].str(), expected.name);
  EXPECT_EQ(std::stoi(match[2].str()), expected.inputs);
  EXPECT_EQ(std::stoi(match[3].str()), expected.outputs);
  EXPECT_EQ(std::stoi(match[4].str()), 4) << "parameters";
  const std::string flags = match[5].str();
  EXPECT_EQ(flags.find("GUI") != std::string::npos || flags.find("EDITOR") != std::string::npos, expected.editor)
      << flags;
  EXPECT_EQ(std::stoul(match[6].str(), nullptr, 16), static_cast<unsigned long>(expected.uniqueID));
  fs::remove_all(home);
}
