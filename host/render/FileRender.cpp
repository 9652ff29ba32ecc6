#include "host/render/FileRender.h"

#include "host/render/Dither.h"
#include "host/render/Errors.h"
#include "host/render/Plot.h"
#include "plugin/QuelmarParameters.h"

#include <cstdio>

namespace render {

namespace {

// What a DAW typically hands a plug-in; the effect's output does not depend on it.
constexpr int kBlockSize = 1024;

}  // namespace

FileRender::FileRender(std::string inputPath, std::string outputPath, std::string plotPath, const Options& options,
                       const std::string& pluginPath, Progress& progress)
    : inputPath_(std::move(inputPath)), outputPath_(std::move(outputPath)), plotPath_(std::move(plotPath)),
      options_(options), progress_(progress), started_(std::chrono::steady_clock::now()) {
  input_ = InputFile::open(inputPath_, options.allowShort);
  format_ = chooseOutputFormat(outputPath_, options.format, options.bits, input_->sfFormat());
  checkOutputPath(inputPath_, outputPath_, options.force);
  if (!plotPath_.empty()) {
    if (plotPath_ == outputPath_) throw UsageError("--plot: " + plotPath_ + " is the output file; give another name");
    checkOutputPath(inputPath_, plotPath_, options.force);
  }
  if (options.dither == DitherChoice::Tpdf && format_.pcmBits == 0) {
    throw UsageError("--dither tpdf rounds to integer samples, and " + format_.description +
                     " holds none: give --bits 16, 24 or 32 with a PCM format");
  }
  // Rounding to 16 bits is audible on quiet passages; at 24 bits and more
  // it lies far below any playback's own noise.
  dithered_ = options.dither ? *options.dither == DitherChoice::Tpdf : format_.pcmBits > 0 && format_.pcmBits <= 16;

  effect_ = Effect::load(pluginPath, input_->sampleRate(), kBlockSize);
  const Controls& asked = options.controls;
  const bool wantsControls = asked.thresholdTenths || asked.ceilingTenths || asked.link || asked.isp ||
                             options.targetLufs;
  if (wantsControls && !effect_->hasQuelmarControls()) {
    throw UsageError(pluginPath +
                     ": has no Quelmar parameters, so --threshold, --ceiling, --link, --isp and --target-lufs "
                     "cannot be applied to it");
  }
  fileSource_ = std::make_unique<FileSource>(*input_);
  // Made before any audio moves, so an unwritable place fails at once rather
  // than after a threshold search.
  output_ = OutputFile::create(outputPath_, format_, input_->channels(), input_->sampleRate(), options.force);
  if (!plotPath_.empty()) plot_ = PendingFile::create(plotPath_, options.force);
}

FileRender::~FileRender() {
  memory_.reset();
  if (budget_ != nullptr) budget_->fetch_add(cachedBytes_);
}

std::int64_t FileRender::frames() const { return memory_ ? memory_->frames() : input_->frames(); }

AudioSource& FileRender::source() {
  if (memory_) return *memory_;
  return *fileSource_;
}

void FileRender::load(std::atomic<std::int64_t>& cacheBudget, LoudnessMeter& meter) {
  const std::int64_t frames = input_->frames();
  std::int64_t bytes = frames < 0 ? -1 : frames * input_->channels() * static_cast<std::int64_t>(sizeof(float));
  // A pipe is read once, so its passes must all come from memory: of unknown
  // length, it may take what the budget holds, and gives back the rest.
  const bool once = !input_->canRewind();
  if (once && bytes < 0) bytes = cacheBudget.load();
  if (bytes >= 0 && cacheBudget.fetch_sub(bytes) >= bytes) {
    budget_ = &cacheBudget;
    cachedBytes_ = bytes;
  } else if (bytes >= 0) {
    cacheBudget.fetch_add(bytes);
  }
  progress_.begin("reading " + inputPath_, frames);
  if (cachedBytes_ > 0) {
    // The reservation covers what the header promises; where the header
    // undercounts, the rest is read all the same.
    memory_ = MemorySource::load(*input_, static_cast<std::size_t>(cachedBytes_), &meter, &progress_);
  }
  if (once && !memory_) {
    throw RenderError(input_->path() + ": holds more than the " + std::to_string(FileRender::kCacheBytes >> 30) +
                      " GiB of decoded audio a search keeps in memory, and a pipe cannot be read again for each "
                      "pass: give the file's name");
  }
  if (memory_ && frames < 0) {
    const std::int64_t used = memory_->frames() * input_->channels() * static_cast<std::int64_t>(sizeof(float));
    cacheBudget.fetch_add(cachedBytes_ - used);
    cachedBytes_ = used;
  }
  if (!memory_) {
    std::vector<float> chunk(65536 * static_cast<std::size_t>(input_->channels()));
    input_->rewind();
    std::int64_t done = 0;
    while (const std::size_t got = input_->read(chunk.data(), 65536)) {
      meter.add(chunk.data(), got);
      progress_.update(done += static_cast<std::int64_t>(got));
    }
  }
}

void FileRender::measure(int thresholdTenths, LoudnessMeter& meter, const std::string& label) {
  Controls trial = options_.controls;
  trial.thresholdTenths = thresholdTenths;
  PassSinks sinks;
  sinks.output = &meter;
  sinks.clipToFullScale = format_.integer;
  sinks.progress = &progress_;
  progress_.begin(label, frames());
  renderPass(source(), *effect_, trial, options_.keepLatency, sinks);
}

SearchOutcome FileRender::search(double targetLufs, std::atomic<std::int64_t>& cacheBudget) {
  LoudnessMeter inputMeter(channels(), sampleRate(), LoudnessMeter::Scope::IntegratedOnly);
  load(cacheBudget, inputMeter);
  const double inputLufs = inputMeter.figures().integratedLufs;
  SearchOutcome outcome =
      searchThreshold(targetLufs, inputLufs, options_.controls.ceilingTenths.value_or(0), [&](int tenths) {
        LoudnessMeter meter(channels(), sampleRate(), LoudnessMeter::Scope::IntegratedOnly);
        measure(tenths, meter, "search pass " + std::to_string(++passes_) + ", threshold " + decibelsOfTenths(tenths) + " dB");
        return meter.figures().integratedLufs;
      });
  return outcome;
}

Report FileRender::finish(const Controls& controls, const std::optional<SearchOutcome>& search) {
  before_ = std::make_unique<LoudnessMeter>(channels(), sampleRate(), LoudnessMeter::Scope::Full);
  after_ = std::make_unique<LoudnessMeter>(channels(), sampleRate(), LoudnessMeter::Scope::Full);
  const std::size_t step = curveStepFrames(sampleRate());
  if (plot_) {
    before_->keepCurves(false);
    after_->keepCurves(true);
  }
  PassSinks sinks;
  sinks.input = before_.get();
  sinks.output = after_.get();
  sinks.measureReduction = true;
  if (plot_) sinks.reductionCurveStep = step;
  sinks.file = output_.get();
  sinks.clipToFullScale = format_.integer;
  std::optional<Dither> dither;
  if (dithered_) sinks.dither = &dither.emplace(channels(), format_.pcmBits);
  sinks.progress = &progress_;
  progress_.begin(search ? "final render" : "rendering", frames());
  const PassResult result = renderPass(source(), *effect_, controls, options_.keepLatency, sinks);

  Report report;
  report.input = inputPath_;
  report.output = outputPath_;
  report.outputFormat = format_.description;
  report.dither = dithered_ ? "TPDF" : format_.pcmBits > 0 ? "none" : "";
  report.effectPath = effect_->path();
  report.effectName = effect_->name();
  report.quelmarControls = effect_->hasQuelmarControls();
  report.sampleRate = sampleRate();
  report.channels = channels();
  report.inputFrames = result.inputFrames;
  report.outputFrames = result.outputFrames;
  report.latency = result.latency;
  report.keepLatency = options_.keepLatency;
  report.controls = result.applied;
  report.before = before_->figures();
  report.after = after_->figures();
  report.largestReductionDb = result.largestReductionDb;
  report.clippedSamples = result.clippedSamples;
  report.targetLufs = options_.targetLufs;
  report.search = search;
  report.shortInput = input_->shortfall();
  report.warnings = deliveryWarnings(report, format_.lossy);
  if (plot_) {
    RenderCurves curves;
    curves.sampleRate = sampleRate();
    curves.stepFrames = step;
    curves.inputShortTermLufs = before_->shortTermCurve();
    curves.outputShortTermLufs = after_->shortTermCurve();
    curves.outputTruePeakDbtp = after_->truePeakCurve();
    curves.reductionDb = result.reductionCurveDb;
    drawPlot(*plot_, curves, report);
    report.plot = plotPath_;
  }
  // The picture is drawn before the master is put in place, so a failure
  // leaves neither.
  output_->commit();
  if (plot_) plot_->commit();
  progress_.end();
  memory_.reset();
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  return report;
}

}  // namespace render
