// cmake --install into a fresh prefix: the plug-in lands where hosts look
// for it, Ardour's scanner finds it there, the installed renderer finds it
// without being told, and the manifest the install leaves uninstalls it all.

#include <gtest/gtest.h>

#include "CommandOutput.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// With what it says on stderr, where cmake and the scanners report trouble.
CommandOutput run(const std::string& command) { return runCommand(command + " 2>&1"); }

std::string readAll(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The build directory's own manifest belongs to whoever installed from it;
// the test puts it back as it found it.
class KeptManifest {
 public:
  explicit KeptManifest(fs::path path) : path_(std::move(path)), existed_(fs::exists(path_)) {
    if (existed_) text_ = readAll(path_);
  }
  ~KeptManifest() {
    if (existed_) {
      std::ofstream(path_) << text_;
    } else {
      fs::remove(path_);
    }
  }

 private:
  fs::path path_;
  bool existed_;
  std::string text_;
};

}  // namespace

TEST(Install, IntoAPrefixWhereHostsFindThePluginAndOutAgain) {
  const fs::path prefix = fs::temp_directory_path() / ("quelmar-install-" + std::to_string(getpid()));
  fs::remove_all(prefix);
  const fs::path manifest = fs::path(QUELMAR_BINARY_DIR) / "install_manifest.txt";
  const KeptManifest kept(manifest);

  const CommandOutput install = run("'" CMAKE_COMMAND "' --install '" QUELMAR_BINARY_DIR "' --prefix '" + prefix.string() + "'");
  ASSERT_EQ(install.status, 0) << install.output;
  const fs::path plugin = prefix / "lib" / "vst" / "Quelmar.so";
  EXPECT_TRUE(fs::is_regular_file(plugin)) << install.output;
  EXPECT_TRUE(fs::is_regular_file(prefix / "lib" / "clap" / "Quelmar.clap")) << install.output;
  for (const char* file : {"manifest.ttl", "quelmar.ttl", "quelmar_dsp.so", "quelmar_ui.so"})
    EXPECT_TRUE(fs::is_regular_file(prefix / "lib" / "lv2" / "quelmar.lv2" / file)) << file << install.output;
  EXPECT_TRUE(fs::is_regular_file(prefix / "bin" / "quelmar-render")) << install.output;
  EXPECT_TRUE(fs::is_regular_file(prefix / "share" / "quelmar" / "quelmar-example.ogg")) << install.output;
  const std::string installed = readAll(manifest);

  // The installed renderer on its installed example, through the installed plug-in.
  const fs::path work = prefix / "work";
  fs::create_directories(work);
  const CommandOutput rendered = run("cd '" + work.string() + "' && '" + (prefix / "bin" / "quelmar-render").string() +
                           "' --json --quiet");
  EXPECT_EQ(rendered.status, 0) << rendered.output;
  EXPECT_NE(rendered.output.find("\"plugin\": \"" + plugin.string() + "\""), std::string::npos) << rendered.output;
  EXPECT_NE(rendered.output.find((prefix / "share" / "quelmar" / "quelmar-example.ogg").string()), std::string::npos)
      << rendered.output;
  EXPECT_TRUE(fs::is_regular_file(work / "quelmar-example-master.wav"));
  fs::remove_all(work);

  const char* scanner = "/usr/lib/ardour7/ardour-vst-scanner";
  if (fs::exists(scanner)) {
    const fs::path home = prefix / "home";
    fs::create_directories(home);
    const CommandOutput scan = run("HOME='" + home.string() + "' LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 " + scanner +
                         " -f -v '" + plugin.string() + "'");
    EXPECT_NE(scan.output.find("Found Plugin"), std::string::npos) << scan.output;
    EXPECT_NE(scan.output.find(plugin.string()), std::string::npos) << scan.output;
    fs::remove_all(home);
  }

  // What the install listed is exactly what the uninstall script removes.
  std::ofstream(manifest) << installed;
  const CommandOutput uninstall =
      run("'" CMAKE_COMMAND "' -DMANIFEST='" + manifest.string() + "' -P '" QUELMAR_SOURCE_DIR "/cmake/Uninstall.cmake'");
  EXPECT_EQ(uninstall.status, 0) << uninstall.output;
  std::size_t left = 0;
  for (const auto& entry : fs::recursive_directory_iterator(prefix)) left += entry.is_regular_file();
  EXPECT_EQ(left, 0u) << "files left in " << prefix;
  fs::remove_all(prefix);
}
