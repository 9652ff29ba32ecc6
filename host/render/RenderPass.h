#pragma once
// One pass of audio through the effect: the source in, latency compensated,
// the output to whichever of the meters and the file the pass needs.

#include "host/render/Effect.h"
#include "host/render/Loudness.h"
#include "host/render/SoundFiles.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace render {

class Dither;
class Progress;

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  virtual int channels() const = 0;
  virtual std::int64_t frames() const = 0;  // -1 when unknown
  virtual std::size_t read(float* interleaved, std::size_t frames) = 0;
  virtual void rewind() = 0;
};

// Reads the file in large pieces and hands them out a block at a time: one
// system call per piece rather than one per block.
class FileSource final : public AudioSource {
 public:
  explicit FileSource(InputFile& file);
  int channels() const override { return file_.channels(); }
  std::int64_t frames() const override { return file_.frames(); }
  // Fewer frames than asked only at the end of the file.
  std::size_t read(float* interleaved, std::size_t frames) override;
  void rewind() override;

 private:
  InputFile& file_;
  std::vector<float> piece_;
  std::size_t filled_ = 0;  // frames in piece_
  std::size_t used_ = 0;    // of them handed out
  int pieces_ = 0;          // read since the last rewind
};

// The decoded input kept for the passes of a threshold search, so each pass
// costs the effect and not the decoder.
class MemorySource final : public AudioSource {
 public:
  // Null when the file would take more than `limitBytes` of memory; the
  // search then reads the file again for every pass. A file of unknown
  // length is read until it ends or passes the limit.
  static std::unique_ptr<MemorySource> load(InputFile& file, std::size_t limitBytes, LoudnessMeter* meter,
                                            Progress* progress);
  int channels() const override { return channels_; }
  std::int64_t frames() const override { return static_cast<std::int64_t>(samples_.size() / channels_); }
  std::size_t read(float* interleaved, std::size_t frames) override;
  void rewind() override { position_ = 0; }

 private:
  MemorySource(int channels, std::vector<float> samples) : channels_(channels), samples_(std::move(samples)) {}
  int channels_;
  std::vector<float> samples_;
  std::size_t position_ = 0;
};

struct PassSinks {
  LoudnessMeter* input = nullptr;
  LoudnessMeter* output = nullptr;
  bool measureReduction = false;
  std::size_t reductionCurveStep = 0;  // frames per value of PassResult::reductionCurveDb; 0: none
  OutputFile* file = nullptr;
  // Integer files cannot hold samples beyond full scale; clipping them here
  // lets the meters read what the file will hold.
  bool clipToFullScale = false;
  // Rounds the output for an integer file; the output meter then reads the
  // rounded samples, as the file holds them.
  Dither* dither = nullptr;
  Progress* progress = nullptr;
};

struct PassResult {
  int latency = 0;
  std::int64_t inputFrames = 0;
  std::int64_t outputFrames = 0;
  std::int64_t clippedSamples = 0;
  double largestReductionDb = 0.0;
  std::vector<float> reductionCurveDb;  // the largest reduction of each step, for the picture
  Controls applied;  // as the effect held them
  bool restarted = false;
};

// Aligned (keepLatency false): drops the effect's latency from the front and
// feeds as many zero frames at the end, so the output has the input's length
// and frame n of the output belongs to frame n of the input. With keepLatency
// the output is what the effect gives, tail included. Throws RenderError.
PassResult renderPass(AudioSource& source, Effect& effect, const Controls& controls, bool keepLatency,
                      PassSinks& sinks);

}  // namespace render
