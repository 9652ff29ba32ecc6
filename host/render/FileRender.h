#pragma once
// One input rendered to one output, in the steps a threshold search and an
// album need: everything that can fail before audio moves is done when the
// object is made (and the output created, so an unwritable place fails at
// once), the input is measured and kept for the passes, passes measure the
// output at a threshold, and the final render writes the file.

#include "host/render/Effect.h"
#include "host/render/Loudness.h"
#include "host/render/Options.h"
#include "host/render/Progress.h"
#include "host/render/RenderPass.h"
#include "host/render/Report.h"
#include "host/render/SoundFiles.h"
#include "host/render/TargetSearch.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace render {

class FileRender {
 public:
  // Decoded input kept in memory across the passes of threshold searches,
  // shared by the files rendered at once; longer inputs are decoded again for
  // each pass instead.
  static constexpr std::int64_t kCacheBytes = std::int64_t{2} << 30;

  // Throws RenderError (or UsageError for settings this file cannot take).
  // A non-empty plotPath draws the final render there.
  FileRender(std::string inputPath, std::string outputPath, std::string plotPath, const Options& options,
             const std::string& pluginPath, Progress& progress);
  ~FileRender();

  int channels() const { return input_->channels(); }
  int sampleRate() const { return input_->sampleRate(); }
  std::int64_t frames() const;  // -1 until known
  const std::string& input() const { return inputPath_; }
  const std::string& output() const { return outputPath_; }

  // Reads the input once, measuring its integrated loudness into `meter`, and
  // keeps it decoded in memory for later passes when `cacheBudget` (bytes,
  // shared by files loaded at once) still holds it.
  void load(std::atomic<std::int64_t>& cacheBudget, LoudnessMeter& meter);
  // A pass at this threshold, measuring the output's integrated loudness into `meter`.
  void measure(int thresholdTenths, LoudnessMeter& meter, const std::string& label);
  // The threshold search of --target-lufs for this file alone, its decoded
  // input kept in memory as far as `cacheBudget` (shared by files searched
  // at once) allows.
  SearchOutcome search(double targetLufs, std::atomic<std::int64_t>& cacheBudget);

  // The final render with these settings: the file written and put in place
  // (and the picture of it drawn), the loudness before and after measured in
  // full. The meters stay for an album's combined figures.
  Report finish(const Controls& controls, const std::optional<SearchOutcome>& search);
  LoudnessMeter& before() { return *before_; }
  LoudnessMeter& after() { return *after_; }

 private:
  AudioSource& source();

  std::string inputPath_;
  std::string outputPath_;
  std::string plotPath_;
  const Options& options_;
  Progress& progress_;
  std::chrono::steady_clock::time_point started_;
  std::unique_ptr<InputFile> input_;
  OutputFormat format_;
  bool dithered_ = false;
  std::unique_ptr<Effect> effect_;
  std::unique_ptr<OutputFile> output_;
  std::unique_ptr<PendingFile> plot_;
  std::unique_ptr<FileSource> fileSource_;
  std::unique_ptr<MemorySource> memory_;
  std::int64_t cachedBytes_ = 0;
  std::atomic<std::int64_t>* budget_ = nullptr;
  std::unique_ptr<LoudnessMeter> before_;
  std::unique_ptr<LoudnessMeter> after_;
  int passes_ = 0;
};

}  // namespace render
