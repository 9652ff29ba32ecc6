#include "host/render/Options.h"

#include "host/render/Errors.h"

#include <ebur128.h>
#include <sndfile.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace render {

namespace {

const char* const kDecibelRange = "give -30 to 0 dB in 0.1 dB steps";

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

double parseLufs(std::string_view option, std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size() || errno != 0 || !std::isfinite(value)) {
    throw UsageError(std::string(option) + ": " + quoted(text) + " is not a number: give -70 to 0 LUFS");
  }
  if (value < -70.0 || value > 0.0) {
    throw UsageError(std::string(option) + ": " + quoted(text) + " is out of range: give -70 to 0 LUFS");
  }
  return value;
}

SampleFormat parseBits(std::string_view text) {
  if (text == "16") return SampleFormat::Pcm16;
  if (text == "24") return SampleFormat::Pcm24;
  if (text == "32") return SampleFormat::Pcm32;
  if (text == "float" || text == "32f") return SampleFormat::Float;
  throw UsageError("--bits: " + quoted(text) + " is not a sample format: give 16, 24, 32 or float");
}

}  // namespace

int parseDecibelTenths(std::string_view option, std::string_view text) {
  // Parsed as decimal text rather than through a double, so "-7.3" means
  // exactly -73 tenths and "-7.35" is caught instead of silently rounded.
  std::size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  long whole = 0;
  std::size_t wholeDigits = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    if (whole < 100000) whole = whole * 10 + (text[at] - '0');
    ++at;
    ++wholeDigits;
  }
  long tenth = 0;
  std::size_t fractionDigits = 0;
  bool offGrid = false;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
      if (fractionDigits == 0) {
        tenth = text[at] - '0';
      } else if (text[at] != '0') {
        offGrid = true;
      }
      ++at;
      ++fractionDigits;
    }
  }
  if (at != text.size() || wholeDigits + fractionDigits == 0) {
    throw UsageError(std::string(option) + ": " + quoted(text) + " is not a number: " + kDecibelRange);
  }
  if (offGrid) {
    throw UsageError(std::string(option) + ": " + quoted(text) + " is not on the 0.1 dB grid: " + kDecibelRange);
  }
  const long magnitude = whole * 10 + tenth;
  const long tenths = negative ? -magnitude : magnitude;
  if (tenths < kMinTenths || tenths > kMaxTenths) {
    throw UsageError(std::string(option) + ": " + quoted(text) + " is out of range: " + kDecibelRange);
  }
  return static_cast<int>(tenths);
}

Options parseOptions(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    // Values are taken whole from the next argument, so "--threshold -8"
    // reads -8 rather than an option called "-8".
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value (see --help)");
      return args[++i];
    };
    auto flag = [&](bool& target) {
      if (inlineValue) throw UsageError(name + " takes no value");
      target = true;
    };

    if (name == "--help" || name == "-h") {
      flag(options.help);
    } else if (name == "--version" || name == "-V") {
      flag(options.version);
    } else if (name == "--threshold") {
      options.controls.thresholdTenths = parseDecibelTenths(name, value());
    } else if (name == "--ceiling") {
      options.controls.ceilingTenths = parseDecibelTenths(name, value());
    } else if (name == "--link") {
      flag(options.controls.link);
    } else if (name == "--isp") {
      flag(options.controls.isp);
    } else if (name == "--target-lufs") {
      options.targetLufs = parseLufs(name, value());
    } else if (name == "--format") {
      options.format = value();
      if (options.format.empty()) throw UsageError("--format needs a value (see --help)");
    } else if (name == "--bits") {
      options.bits = parseBits(value());
    } else if (name == "--dither") {
      const std::string choice = value();
      if (choice == "none") {
        options.dither = DitherChoice::None;
      } else if (choice == "tpdf") {
        options.dither = DitherChoice::Tpdf;
      } else {
        throw UsageError("--dither: " + quoted(choice) + " is not a dither: give none or tpdf");
      }
    } else if (name == "--plugin") {
      options.plugin = value();
      if (options.plugin.empty()) throw UsageError("--plugin needs a path");
    } else if (name == "--out-dir" || name == "-o") {
      options.outDir = value();
      if (options.outDir.empty()) throw UsageError("--out-dir needs a directory");
    } else if (name == "--jobs" || name == "-j") {
      const std::string text = value();
      char* end = nullptr;
      errno = 0;
      const long jobs = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || errno != 0 || jobs < 1 || jobs > 256) {
        throw UsageError("--jobs: " + quoted(text) + " is not a number of files at once: give 1 to 256");
      }
      options.jobs = static_cast<int>(jobs);
    } else if (name == "--album") {
      flag(options.album);
    } else if (name == "--keep-latency") {
      flag(options.keepLatency);
    } else if (name == "--allow-short") {
      flag(options.allowShort);
    } else if (name == "--plot") {
      options.plot = value();
      if (options.plot.empty()) throw UsageError("--plot needs a file name");
      if (options.plot == "-") throw UsageError("--plot draws into a file: give its name, not -");
    } else if (name == "--plot-dir") {
      options.plotDir = value();
      if (options.plotDir.empty()) throw UsageError("--plot-dir needs a directory");
    } else if (name == "--force" || name == "-f") {
      flag(options.force);
    } else if (name == "--json") {
      flag(options.json);
    } else if (name == "--quiet" || name == "-q") {
      flag(options.quiet);
    } else {
      throw UsageError("unknown option " + quoted(name) + " (see --help)");
    }
  }
  if (options.help || options.version) return options;

  if (options.targetLufs && options.controls.thresholdTenths) {
    throw UsageError("--target-lufs chooses the threshold itself: leave out --threshold");
  }
  if (!options.outDir.empty()) {
    if (files.empty()) throw UsageError("--out-dir needs the input files to render into it (see --help)");
    for (const std::string& file : files) {
      if (file.empty()) throw UsageError("file names cannot be empty");
      if (file == "-") throw UsageError("a batch renders files by name: standard input (-) cannot be one of them");
    }
    if (!options.plot.empty()) throw UsageError("--plot draws one render: give --plot-dir DIR for a batch");
    options.inputs = files;
    if (options.album && !options.targetLufs) {
      throw UsageError("--album searches one threshold for all files: give --target-lufs too");
    }
    return options;
  }
  if (options.album) throw UsageError("--album renders several files: give --out-dir DIR and the files");
  if (!options.plotDir.empty()) throw UsageError("--plot-dir is for batches: give --plot FILE.png for one render");
  if (files.size() > 2) {
    throw UsageError("too many files: give INPUT OUTPUT, or --out-dir DIR and the inputs (see --help)");
  }
  if (files.size() == 1) throw UsageError("no output file: give INPUT OUTPUT (see --help)");
  if (files.size() == 2) {
    options.input = files[0];
    options.output = files[1];
    if (options.input.empty() || options.output.empty()) throw UsageError("file names cannot be empty");
    if (options.output == "-" && options.format.empty()) {
      throw UsageError("standard output (-) has no extension to tell the format by: give --format");
    }
  }
  return options;
}

std::string helpText() {
  return R"(Usage: quelmar-render [OPTIONS] [INPUT OUTPUT]
       quelmar-render [OPTIONS] --out-dir DIR INPUT...

Renders INPUT through the Quelmar loudness maximizer (or another VST 2.4
stereo effect) exactly as a DAW would, writes OUTPUT sample-aligned with
INPUT, and prints the loudness before and after. With no files it renders
the bundled example to quelmar-example-master.wav in the current directory.

Plug-in settings (-30 to 0 dB in 0.1 dB steps; unset ones keep the plug-in's
own defaults of 0 dB and off):
  --threshold DB      how far the input is driven into the limiter
  --ceiling DB        the output ceiling
  --link              fader link: the ceiling follows threshold moves
  --isp               inter-sample (true) peak detection
  --target-lufs LUFS  search the threshold that lands the output at this
                      integrated loudness (-70 to 0) under the ceiling

Output file:
  --format NAME       wav, aiff, flac, caf, w64, rf64, au, ogg, opus or mp3;
                      default: from OUTPUT's extension
  --bits N            16, 24, 32 (integer) or float; default: the input's
                      sample format where the output format holds it, else 24
  --dither none|tpdf  rounding to integer samples: TPDF dither or plain
                      rounding; default: TPDF for 16-bit output, none for
                      24 and 32-bit (tpdf forces it there)
  --keep-latency      write the plug-in's output as it comes, delayed by its
                      latency (and that much longer), instead of aligned
  --force, -f         replace an existing OUTPUT (and --plot file)

INPUT - reads standard input, OUTPUT - writes standard output (give --format;
to a pipe only flac, au, ogg, opus or mp3 stream); the report then goes to
standard error.

Damaged input: a file that ends before its header says, or that the decoder
cannot read to the end, fails the render and nothing is written.
  --allow-short       render what could be read, the shortfall in the report

Pictures:
  --plot FILE         draw the render into FILE (PNG, 1600 x 600): short-term
                      loudness in and out, gain reduction and true peak over
                      time
  --plot-dir DIR      in a batch: DIR/<name>.png for each input

Batches:
  --out-dir DIR, -o   render every INPUT to DIR/<name>.<ext> (the input's
                      name; the extension of --format or of the input)
  --jobs N, -j        files rendered at once; default: one per core
  --album             with --target-lufs: one threshold for all files, so
                      that the album as one programme lands on the target
                      and the songs keep their loudness differences

Other:
  --plugin PATH       render through this VST 2.4 effect (two inputs, two
                      outputs); the settings above need Quelmar's parameters
  --json              print the report as JSON instead of a table
  --quiet, -q         no progress bar
  --help, -h          this text
  --version, -V       version of the renderer and of its libraries

Mono files are fed to both plug-in inputs and written mono; files with more
than two channels are refused. A warning (on standard error and in the
report) says when the output's true peak is over the ceiling, and when a
lossy format gets a ceiling above -1 dB and peaks above -1 dBTP; the exit
status stays 0.

Examples:
  quelmar-render mix.wav master.wav --threshold -8 --ceiling -1 --isp
  quelmar-render mix.flac master.wav --target-lufs -14 --ceiling -1 --isp
  quelmar-render --out-dir masters --album --target-lufs -14 --ceiling -1 *.wav
  quelmar-render mix.wav master.wav --ceiling -1 --isp --plot master.png
  sox mix.flac -t wav - | quelmar-render - - --format flac > master.flac

Exit status: 0 done, 1 the job (or in a batch, any file) failed (the line
printed says which file and why; no partial output is left behind; a batch
goes on with the other files), 2 the command line is wrong.
)";
}

std::string versionText() {
  int major = 0, minor = 0, patch = 0;
  ebur128_get_version(&major, &minor, &patch);
  return std::string("quelmar-render ") + QUELMAR_VERSION + " (" + sf_version_string() + ", libebur128-" +
         std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch) + ")\n";
}

}  // namespace render
