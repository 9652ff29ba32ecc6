// quelmar-render: the loudness maximizer from the command line.

#include "host/render/Dither.h"
#include "host/render/Effect.h"
#include "host/render/Errors.h"
#include "host/render/Loudness.h"
#include "host/render/Options.h"
#include "host/render/Progress.h"
#include "host/render/RenderPass.h"
#include "host/render/Report.h"
#include "host/render/SoundFiles.h"
#include "host/render/TargetSearch.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace render;

// What a DAW typically hands a plug-in; the effect's output does not depend on it.
constexpr int kBlockSize = 1024;
// Decoded input kept in memory for the passes of a threshold search; longer
// files are decoded again for each pass instead.
constexpr std::size_t kCacheLimitBytes = std::size_t{2} << 30;
const char* const kExampleOutput = "quelmar-example-master.wav";

std::string executableDirectory() {
  char path[PATH_MAX + 1];
  const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
  if (length <= 0) return ".";
  path[length] = '\0';
  std::string text(path);
  const std::size_t slash = text.find_last_of('/');
  return slash == std::string::npos ? "." : text.substr(0, slash);
}

bool isFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Relative to the executable's directory unless absolute; without the
// "bin/.." the report would otherwise show.
std::string besideExecutable(const std::string& exeDirectory, const std::string& path) {
  const std::string joined = !path.empty() && path[0] == '/' ? path : exeDirectory + "/" + path;
  char resolved[PATH_MAX + 1];
  return realpath(joined.c_str(), resolved) != nullptr ? std::string(resolved) : joined;
}

// In a build directory the example sits beside the binary; installed, under
// <prefix>/share; the source copy is the last resort.
std::string bundledExample(const std::string& exeDirectory) {
  const std::string beside = exeDirectory + "/examples/quelmar-example.ogg";
  if (isFile(beside)) return beside;
  const std::string installed = besideExecutable(exeDirectory, QUELMAR_INSTALLED_EXAMPLE);
  if (isFile(installed)) return installed;
  if (isFile(QUELMAR_SOURCE_EXAMPLE)) return QUELMAR_SOURCE_EXAMPLE;
  throw RenderError(std::string("the bundled example is missing (looked for ") + beside + ", " + installed +
                    " and " + QUELMAR_SOURCE_EXAMPLE + ")");
}

// Beside the binary in a build directory, <prefix>/lib/vst once installed.
std::string defaultPlugin(const std::string& exeDirectory) {
  const std::string beside = exeDirectory + "/Quelmar.so";
  if (isFile(beside)) return beside;
  const std::string installed = besideExecutable(exeDirectory, QUELMAR_INSTALLED_PLUGIN);
  if (isFile(installed)) return installed;
  throw RenderError("Quelmar.so is neither beside quelmar-render (" + beside + ") nor where it is installed (" +
                    installed + "); give --plugin PATH");
}

std::string decibels(int tenths) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", tenths * 0.1);
  return text;
}

int run(const Options& options) {
  const auto started = std::chrono::steady_clock::now();
  const std::string exeDirectory = executableDirectory();
  std::string inputPath = options.input;
  std::string outputPath = options.output;
  if (inputPath.empty()) {
    inputPath = bundledExample(exeDirectory);
    outputPath = kExampleOutput;
  }

  std::unique_ptr<InputFile> input = InputFile::open(inputPath);
  const OutputFormat format = chooseOutputFormat(outputPath, options.format, options.bits, input->sfFormat());
  checkOutputPath(inputPath, outputPath, options.force);
  if (options.dither == DitherChoice::Tpdf && format.pcmBits == 0) {
    throw UsageError("--dither tpdf rounds to integer samples, and " + format.description +
                     " holds none: give --bits 16, 24 or 32 with a PCM format");
  }
  // Rounding to 16 bits is audible on quiet passages; at 24 bits and more
  // it lies far below any playback's own noise.
  const bool dithered =
      options.dither ? *options.dither == DitherChoice::Tpdf : format.pcmBits > 0 && format.pcmBits <= 16;

  const std::string pluginPath = options.plugin.empty() ? defaultPlugin(exeDirectory) : options.plugin;
  std::unique_ptr<Effect> effect = Effect::load(pluginPath, input->sampleRate(), kBlockSize);
  const Controls& asked = options.controls;
  const bool wantsControls = asked.thresholdTenths || asked.ceilingTenths || asked.link || asked.isp ||
                             options.targetLufs;
  if (wantsControls && !effect->hasQuelmarControls()) {
    throw UsageError(pluginPath +
                     ": has no Quelmar parameters, so --threshold, --ceiling, --link, --isp and --target-lufs "
                     "cannot be applied to it");
  }

  const int channels = input->channels();
  const int rate = input->sampleRate();
  Progress progress(!options.quiet);
  Controls controls = options.controls;
  FileSource fileSource(*input);
  std::unique_ptr<MemorySource> memory;
  AudioSource* source = &fileSource;

  // Made before any audio moves, so an unwritable place fails at once rather
  // than after a threshold search.
  std::unique_ptr<OutputFile> output = OutputFile::create(outputPath, format, channels, rate, options.force);

  std::optional<SearchOutcome> search;
  if (options.targetLufs) {
    LoudnessMeter inputMeter(channels, rate, LoudnessMeter::Scope::IntegratedOnly);
    progress.begin("reading input", input->frames());
    memory = MemorySource::load(*input, kCacheLimitBytes, &inputMeter, &progress);
    if (memory) {
      source = memory.get();
    } else {
      std::vector<float> chunk(65536 * static_cast<std::size_t>(channels));
      input->rewind();
      std::int64_t done = 0;
      while (const std::size_t got = input->read(chunk.data(), 65536)) {
        inputMeter.add(chunk.data(), got);
        progress.update(done += static_cast<std::int64_t>(got));
      }
    }
    int pass = 0;
    search = searchThreshold(*options.targetLufs, inputMeter.figures().integratedLufs,
                             controls.ceilingTenths.value_or(0), [&](int tenths) {
                               Controls trial = controls;
                               trial.thresholdTenths = tenths;
                               LoudnessMeter meter(channels, rate, LoudnessMeter::Scope::IntegratedOnly);
                               PassSinks sinks;
                               sinks.output = &meter;
                               sinks.clipToFullScale = format.integer;
                               sinks.progress = &progress;
                               progress.begin("search pass " + std::to_string(++pass) + ", threshold " +
                                                  decibels(tenths) + " dB",
                                              source->frames());
                               renderPass(*source, *effect, trial, options.keepLatency, sinks);
                               return meter.figures().integratedLufs;
                             });
    controls.thresholdTenths = search->thresholdTenths;
  }

  LoudnessMeter before(channels, rate, LoudnessMeter::Scope::Full);
  LoudnessMeter after(channels, rate, LoudnessMeter::Scope::Full);
  PassSinks sinks;
  sinks.input = &before;
  sinks.output = &after;
  sinks.measureReduction = true;
  sinks.file = output.get();
  sinks.clipToFullScale = format.integer;
  std::optional<Dither> dither;
  if (dithered) sinks.dither = &dither.emplace(channels, format.pcmBits);
  sinks.progress = &progress;
  progress.begin(search ? "final render" : "rendering", source->frames());
  const PassResult result = renderPass(*source, *effect, controls, options.keepLatency, sinks);
  output->commit();
  progress.end();

  Report report;
  report.input = inputPath;
  report.output = outputPath;
  report.outputFormat = format.description;
  report.dither = dithered ? "TPDF" : format.pcmBits > 0 ? "none" : "";
  report.effectPath = effect->path();
  report.effectName = effect->name();
  report.quelmarControls = effect->hasQuelmarControls();
  report.sampleRate = rate;
  report.channels = channels;
  report.inputFrames = result.inputFrames;
  report.outputFrames = result.outputFrames;
  report.latency = result.latency;
  report.keepLatency = options.keepLatency;
  report.controls = result.applied;
  report.before = before.figures();
  report.after = after.figures();
  report.largestReductionDb = result.largestReductionDb;
  report.clippedSamples = result.clippedSamples;
  report.targetLufs = options.targetLufs;
  report.search = search;
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::string text = options.json ? formatJson(report) : formatTable(report);
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) != 0) throw RenderError("cannot print the report (the output file is complete)");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    const Options options = parseOptions(args);
    if (options.help) {
      std::fputs(helpText().c_str(), stdout);
      return 0;
    }
    if (options.version) {
      std::fputs(versionText().c_str(), stdout);
      return 0;
    }
    installInterruptCleanup();
    return run(options);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "quelmar-render: %s\n", error.what());
    return kExitUsage;
  } catch (const RenderError& error) {
    std::fprintf(stderr, "quelmar-render: %s\n", error.what());
    return kExitRuntimeFailure;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quelmar-render: out of memory\n");
    return kExitRuntimeFailure;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quelmar-render: %s\n", error.what());
    return kExitRuntimeFailure;
  }
}
