#pragma once
// The command line of quelmar-render.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace render {

enum class SampleFormat { Pcm16, Pcm24, Pcm32, Float };
enum class DitherChoice { None, Tpdf };

// The plug-in settings in the units people think in: whole tenths of a
// decibel, exactly what the plug-in's own faders step through.
struct Controls {
  std::optional<int> thresholdTenths;
  std::optional<int> ceilingTenths;
  bool link = false;
  bool isp = false;
};

struct Options {
  bool help = false;
  bool version = false;

  std::string input;   // empty: the bundled example; "-": standard input
  std::string output;  // empty only together with an empty input; "-": standard output
  // A batch: every input rendered into outDir with the same settings.
  std::string outDir;
  std::vector<std::string> inputs;
  int jobs = 0;  // files rendered at once; 0: one per core
  bool album = false;
  Controls controls;
  std::optional<double> targetLufs;
  std::string format;  // empty: from the output file's extension
  std::optional<SampleFormat> bits;
  std::optional<DitherChoice> dither;  // unset: TPDF for 16-bit output, none otherwise
  std::string plugin;  // empty: the Quelmar.so beside the executable
  bool keepLatency = false;
  bool allowShort = false;  // render an input broken off early as far as it can be read
  std::string plot;         // a picture of the render, PNG
  std::string plotDir;      // a batch's pictures: <plotDir>/<input's name>.png
  bool force = false;
  bool json = false;
  bool quiet = false;
};

constexpr int kMinTenths = -300;
constexpr int kMaxTenths = 0;

// Throws UsageError with one line naming the option and what it accepts.
Options parseOptions(const std::vector<std::string>& args);

// "-8", "-7.5", "0" to tenths; anything off the 0.1 dB grid of -30..0 is refused.
int parseDecibelTenths(std::string_view option, std::string_view text);

std::string helpText();
std::string versionText();

}  // namespace render
