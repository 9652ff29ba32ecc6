#include "host/render/Batch.h"

#include "host/render/Errors.h"
#include "host/render/FileRender.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace render {

namespace {

std::string nameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void checkDirectory(const std::string& directory, const char* option) {
  struct stat status {};
  if (stat(directory.c_str(), &status) != 0) {
    const int error = errno;
    if (error == ENOENT) {
      throw RenderError(directory + ": no such directory (" + option + " is not created for you)");
    }
    throw RenderError(directory + ": " + std::strerror(error));
  }
  if (!S_ISDIR(status.st_mode)) throw RenderError(directory + ": is not a directory");
  // Permission bits do not tell for root or read-only mounts: only a file made tells.
  const int error = tryCreateIn(directory);
  if (error != 0) throw RenderError(directory + ": cannot write there: " + std::strerror(error));
}

// Runs work(i) for i in [0, count) on up to `jobs` threads, the calling one
// among them.
void forEach(std::size_t count, int jobs, const std::function<void(std::size_t)>& work) {
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i = next++; i < count; i = next++) work(i);
  };
  std::vector<std::thread> threads;
  const std::size_t extra = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(jobs, 1))) - (count > 0);
  for (std::size_t t = 0; t < extra; ++t) threads.emplace_back(worker);
  worker();
  for (std::thread& thread : threads) thread.join();
}

// One failure as the line the user reads: the message names the file.
std::string describe(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    return "out of memory";
  } catch (const std::exception& error) {
    return error.what();
  }
  return "unknown failure";
}

class Batch {
 public:
  Batch(const Options& options, const std::string& pluginPath)
      : options_(options), pluginPath_(pluginPath), outputs_(batchOutputs(options)), plots_(batchPlots(options)),
        progress_(!options.quiet) {
    report_.outDir = options.outDir;
    while (report_.outDir.size() > 1 && report_.outDir.back() == '/') report_.outDir.pop_back();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    jobs_ = std::min<int>(options.jobs > 0 ? options.jobs : static_cast<int>(cores),
                          static_cast<int>(options.inputs.size()));
    report_.jobs = jobs_;
    for (std::size_t i = 0; i < options.inputs.size(); ++i) {
      report_.entries.push_back(BatchEntry{options.inputs[i], outputs_[i], std::nullopt, {}});
    }
  }

  BatchReport run() {
    const auto started = std::chrono::steady_clock::now();
    checkDirectory(options_.outDir, "--out-dir");
    if (!options_.plotDir.empty()) checkDirectory(options_.plotDir, "--plot-dir");
    if (options_.album) {
      album();
    } else {
      separately();
    }
    progress_.end();
    report_.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return std::move(report_);
  }

 private:
  void fail(std::size_t i, const std::exception_ptr& failure) {
    const std::string error = describe(failure);
    const std::lock_guard<std::mutex> lock(mutex_);
    report_.entries[i].error = error;
    report_.entries[i].report.reset();
    progress_.end();
    std::fprintf(stderr, "quelmar-render: %s\n", error.c_str());
    std::fflush(stderr);
  }

  void done(std::size_t i, Report report) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!report.warnings.empty()) progress_.end();
    for (const std::string& warning : report.warnings) {
      std::fprintf(stderr, "quelmar-render: warning: %s\n", warning.c_str());
    }
    std::fflush(stderr);
    report_.entries[i].report = std::move(report);
  }

  std::int64_t totalFrames(const std::vector<std::unique_ptr<FileRender>>* files) {
    std::int64_t total = 0;
    for (std::size_t i = 0; i < options_.inputs.size(); ++i) {
      if (files != nullptr && !(*files)[i]) continue;
      const std::int64_t frames = files != nullptr ? (*files)[i]->frames() : -1;
      if (frames > 0) total += frames;
    }
    return total;
  }

  // Each file on its own, --target-lufs searched per file.
  void separately() {
    // The bar's length is the frames of every pass of every file, known as
    // each pass begins.
    progress_.begin("rendering " + std::to_string(options_.inputs.size()) + " files", 0);
    std::atomic<std::int64_t> budget{FileRender::kCacheBytes};
    forEach(options_.inputs.size(), jobs_, [&](std::size_t i) {
      try {
        Progress share(progress_, true);
        FileRender file(options_.inputs[i], outputs_[i], plots_[i], options_, pluginPath_, share);
        std::optional<SearchOutcome> search;
        Controls controls = options_.controls;
        if (options_.targetLufs) {
          search = file.search(*options_.targetLufs, budget);
          controls.thresholdTenths = search->thresholdTenths;
        }
        done(i, file.finish(controls, search));
      } catch (...) {
        fail(i, std::current_exception());
      }
    });
  }

  void album() {
    const std::size_t count = options_.inputs.size();
    // Declared first: the files give back what they took from it as they go.
    std::atomic<std::int64_t> budget{FileRender::kCacheBytes};
    std::vector<std::unique_ptr<Progress>> shares(count);
    std::vector<std::unique_ptr<FileRender>> files(count);
    std::vector<std::unique_ptr<LoudnessMeter>> inputMeters(count);

    progress_.begin("reading " + std::to_string(count) + " files", 0);
    forEach(count, jobs_, [&](std::size_t i) {
      try {
        shares[i] = std::make_unique<Progress>(progress_);
        auto file = std::make_unique<FileRender>(options_.inputs[i], outputs_[i], plots_[i], options_, pluginPath_,
                                                 *shares[i]);
        progress_.expect(file->frames());
        auto meter = std::make_unique<LoudnessMeter>(file->channels(), file->sampleRate(),
                                                     LoudnessMeter::Scope::IntegratedOnly);
        file->load(budget, *meter);
        meter->figures();
        inputMeters[i] = std::move(meter);
        files[i] = std::move(file);
      } catch (...) {
        files[i].reset();
        fail(i, std::current_exception());
      }
    });

    auto alive = [&] {
      std::vector<std::size_t> indices;
      for (std::size_t i = 0; i < count; ++i) {
        if (files[i]) indices.push_back(i);
      }
      return indices;
    };
    std::vector<LoudnessMeter*> inputs;
    AlbumFigures figures;
    figures.targetLufs = *options_.targetLufs;
    int passes = 0;
    // A file that fails during the search leaves the album; the search then
    // starts again without it, as its loudness was part of every figure.
    for (;;) {
      inputs.clear();
      for (std::size_t i : alive()) inputs.push_back(inputMeters[i].get());
      if (inputs.empty()) return;
      figures.inputLufs = LoudnessMeter::combinedIntegratedLufs(inputs);
      bool lostOne = false;
      const SearchOutcome search = searchThreshold(
          figures.targetLufs, figures.inputLufs, options_.controls.ceilingTenths.value_or(0), [&](int tenths) {
            if (lostOne) return kSilence;
            ++passes;
            const std::string label =
                "album pass " + std::to_string(passes) + ", threshold " + decibelsOfTenths(tenths) + " dB";
            const std::vector<std::size_t> members = alive();
            std::vector<std::unique_ptr<LoudnessMeter>> meters(count);
            progress_.begin(label, totalFrames(&files));
            forEach(members.size(), jobs_, [&](std::size_t k) {
              const std::size_t i = members[k];
              try {
                meters[i] = std::make_unique<LoudnessMeter>(files[i]->channels(), files[i]->sampleRate(),
                                                            LoudnessMeter::Scope::IntegratedOnly);
                files[i]->measure(tenths, *meters[i], label);
                meters[i]->figures();
              } catch (...) {
                fail(i, std::current_exception());
                const std::lock_guard<std::mutex> lock(mutex_);
                lostOne = true;
              }
            });
            if (lostOne) {
              for (std::size_t i : members) {
                if (!report_.entries[i].error.empty()) files[i].reset();
              }
              return kSilence;
            }
            std::vector<LoudnessMeter*> outputs;
            for (std::size_t i : members) outputs.push_back(meters[i].get());
            return LoudnessMeter::combinedIntegratedLufs(outputs);
          });
      if (lostOne) continue;
      figures.search = search;
      break;
    }
    figures.search.passes = passes;

    Controls controls = options_.controls;
    controls.thresholdTenths = figures.search.thresholdTenths;
    const std::vector<std::size_t> members = alive();
    progress_.begin("rendering the album at " + decibelsOfTenths(figures.search.thresholdTenths) + " dB",
                    totalFrames(&files));
    forEach(members.size(), jobs_, [&](std::size_t k) {
      const std::size_t i = members[k];
      try {
        done(i, files[i]->finish(controls, std::nullopt));
      } catch (...) {
        fail(i, std::current_exception());
      }
    });
    std::vector<LoudnessMeter*> outputs;
    inputs.clear();
    for (std::size_t i : members) {
      if (!report_.entries[i].report) continue;
      inputs.push_back(&files[i]->before());
      outputs.push_back(&files[i]->after());
    }
    figures.inputLufs = LoudnessMeter::combinedIntegratedLufs(inputs);
    figures.outputLufs = LoudnessMeter::combinedIntegratedLufs(outputs);
    report_.album = figures;
  }

  const Options& options_;
  const std::string& pluginPath_;
  std::vector<std::string> outputs_;
  std::vector<std::string> plots_;  // empty names without --plot-dir
  int jobs_ = 1;
  BatchProgress progress_;
  std::mutex mutex_;
  BatchReport report_;
};

}  // namespace

std::vector<std::string> batchOutputs(const Options& options) {
  std::string directory = options.outDir;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  std::vector<std::string> outputs;
  std::map<std::string, std::string> taken;
  for (const std::string& input : options.inputs) {
    std::string name = nameOf(input);
    std::string extension;
    if (const std::size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) {
      extension = name.substr(dot + 1);
      name = name.substr(0, dot);
    }
    if (!options.format.empty()) extension = options.format;
    std::string output = directory + "/" + name + (extension.empty() ? "" : "." + extension);
    const auto [at, fresh] = taken.emplace(output, input);
    if (!fresh) {
      throw UsageError(at->second + " and " + input + " would both be written to " + output +
                       ": render them into different directories");
    }
    outputs.push_back(std::move(output));
  }
  return outputs;
}

std::vector<std::string> batchPlots(const Options& options) {
  if (options.plotDir.empty()) return std::vector<std::string>(options.inputs.size());
  std::string directory = options.plotDir;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  std::vector<std::string> plots;
  std::map<std::string, std::string> taken;
  for (const std::string& input : options.inputs) {
    std::string name = nameOf(input);
    if (const std::size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    std::string plot = directory + "/" + name + ".png";
    const auto [at, fresh] = taken.emplace(plot, input);
    if (!fresh) {
      throw UsageError(at->second + " and " + input + " would both be drawn to " + plot +
                       ": give them different names");
    }
    plots.push_back(std::move(plot));
  }
  return plots;
}

BatchReport renderBatch(const Options& options, const std::string& pluginPath) {
  Batch batch(options, pluginPath);
  return batch.run();
}

}  // namespace render
