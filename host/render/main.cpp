// quelmar-render: the loudness maximizer from the command line.

#include "host/render/Batch.h"
#include "host/render/Errors.h"
#include "host/render/FileRender.h"
#include "host/render/Options.h"
#include "host/render/Progress.h"
#include "host/render/Report.h"
#include "host/render/SoundFiles.h"

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace render;

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

void print(const std::string& text, const char* what, std::FILE* stream = stdout) {
  std::fputs(text.c_str(), stream);
  if (std::fflush(stream) != 0) throw RenderError(std::string("cannot print the report (") + what + ")");
}

int run(const Options& options) {
  const std::string exeDirectory = executableDirectory();
  const std::string pluginPath = options.plugin.empty() ? defaultPlugin(exeDirectory) : options.plugin;
  if (!options.outDir.empty()) {
    const BatchReport batch = renderBatch(options, pluginPath);
    print(options.json ? formatBatchJson(batch) : formatBatchTable(batch), "the files written are complete");
    for (const BatchEntry& entry : batch.entries) {
      if (!entry.report) return kExitRuntimeFailure;
    }
    return 0;
  }

  std::string inputPath = options.input;
  std::string outputPath = options.output;
  if (inputPath.empty()) {
    inputPath = bundledExample(exeDirectory);
    outputPath = kExampleOutput;
  }
  Progress progress(!options.quiet);
  std::atomic<std::int64_t> cacheBudget{FileRender::kCacheBytes};  // outlives the file, which gives back what it took
  FileRender file(inputPath, outputPath, options.plot, options, pluginPath, progress);
  std::optional<SearchOutcome> search;
  Controls controls = options.controls;
  if (options.targetLufs) {
    search = file.search(*options.targetLufs, cacheBudget);
    controls.thresholdTenths = search->thresholdTenths;
  }
  const Report report = file.finish(controls, search);
  // Standard output may carry the audio itself; the report then goes beside
  // the warnings, which it already holds.
  const bool reportToError = outputPath == "-";
  if (!reportToError) {
    for (const std::string& warning : report.warnings) {
      std::fprintf(stderr, "quelmar-render: warning: %s\n", warning.c_str());
    }
  }
  print(options.json ? formatJson(report) : formatTable(report), "the output file is complete",
        reportToError ? stderr : stdout);
  return 0;
}

}  // namespace

#ifdef __SANITIZE_ADDRESS__
// fontconfig, which Cairo asks for the plot's font, loses a few hundred bytes
// parsing its system configuration; that is the library's, not ours. The
// sanitizer runtime looks this hook up by name, hence default visibility.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif

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
