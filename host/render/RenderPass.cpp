#include "host/render/RenderPass.h"

#include "host/render/Dither.h"
#include "host/render/Errors.h"
#include "host/render/Progress.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace render {

namespace {
constexpr std::size_t kPieceFrames = 65536;
}

FileSource::FileSource(InputFile& file)
    : file_(file), piece_(kPieceFrames * static_cast<std::size_t>(file.channels())) {}

std::size_t FileSource::read(float* interleaved, std::size_t frames) {
  const std::size_t channels = static_cast<std::size_t>(file_.channels());
  std::size_t done = 0;
  while (done < frames) {
    if (used_ == filled_) {
      filled_ = file_.read(piece_.data(), kPieceFrames);
      used_ = 0;
      ++pieces_;
      if (filled_ == 0) break;
    }
    const std::size_t take = std::min(frames - done, filled_ - used_);
    std::copy_n(piece_.data() + used_ * channels, take * channels, interleaved + done * channels);
    used_ += take;
    done += take;
  }
  return done;
}

void FileSource::rewind() {
  // A pipe cannot go back, but an effect that restarts after its first block
  // needs only what the first piece still holds.
  if (!file_.canRewind() && pieces_ <= 1) {
    used_ = 0;
    return;
  }
  file_.rewind();
  filled_ = 0;
  used_ = 0;
  pieces_ = 0;
}

std::unique_ptr<MemorySource> MemorySource::load(InputFile& file, std::size_t limitBytes, LoudnessMeter* meter,
                                                 Progress* progress) {
  const std::size_t channels = static_cast<std::size_t>(file.channels());
  if (file.frames() >= 0 && static_cast<std::uint64_t>(file.frames()) * channels * sizeof(float) > limitBytes) {
    return nullptr;
  }
  std::vector<float> samples(static_cast<std::size_t>(std::max<std::int64_t>(file.frames(), 0)) * channels);
  constexpr std::size_t kChunk = 65536;
  std::size_t done = 0;
  file.rewind();
  while (done < samples.size()) {
    const std::size_t want = std::min(kChunk, (samples.size() - done) / channels);
    const std::size_t got = file.read(samples.data() + done, want);
    if (got == 0) break;
    if (meter != nullptr) meter->add(samples.data() + done, got);
    done += got * channels;
    if (progress != nullptr) progress->update(static_cast<std::int64_t>(done / channels));
  }
  // A header's frame count is an estimate for some formats: keep reading
  // past it, and keep only what was there.
  for (std::size_t got = 1; got > 0 && done == samples.size();) {
    if (file.frames() < 0 && (done + kChunk * channels) * sizeof(float) > limitBytes) return nullptr;
    samples.resize(done + kChunk * channels);
    got = file.read(samples.data() + done, kChunk);
    if (meter != nullptr) meter->add(samples.data() + done, got);
    done += got * channels;
    if (progress != nullptr) progress->update(static_cast<std::int64_t>(done / channels));
  }
  samples.resize(done);
  return std::unique_ptr<MemorySource>(new MemorySource(static_cast<int>(channels), std::move(samples)));
}

std::size_t MemorySource::read(float* interleaved, std::size_t frames) {
  const std::size_t count = std::min(frames * channels_, samples_.size() - position_);
  std::copy_n(samples_.data() + position_, count, interleaved);
  position_ += count;
  return count / channels_;
}

namespace {

// Holds the input back by the latency so that the gain-reduction meter sees
// each output frame beside the input frame it came from.
class InputDelay {
 public:
  InputDelay(int channels, int latency, std::size_t blockFrames)
      : length_(static_cast<std::size_t>(latency)), line_(static_cast<std::size_t>(channels)) {
    for (std::vector<float>& line : line_) line.assign(length_ + blockFrames, 0.0f);
  }
  // Each channel's line holds the last `length_` input frames, then the new
  // block: the delayed block is its front. Copies only, no per-sample work.
  void run(float* const* in, float* const* out, std::size_t frames) {
    for (std::size_t channel = 0; channel < line_.size(); ++channel) {
      float* line = line_[channel].data();
      std::copy_n(in[channel], frames, line + length_);
      std::copy_n(line, frames, out[channel]);
      std::memmove(line, line + frames, length_ * sizeof(float));
    }
  }

 private:
  std::size_t length_;
  std::vector<std::vector<float>> line_;
};

class Pass {
 public:
  Pass(AudioSource& source, EffectInstance& instance, const std::string& effectPath, bool keepLatency,
       PassSinks& sinks, int blockSize, int sampleRate)
      : effectPath_(effectPath), source_(source), instance_(instance), sinks_(sinks), channels_(source.channels()),
        reduction_(channels_, sampleRate, instance.nominalGainDb(), sinks.reductionCurveStep),
        block_(static_cast<std::size_t>(blockSize)), latency_(instance.latency()),
        delay_(channels_, std::max(0, latency_), block_), keepLatency_(keepLatency),
        interleaved_(block_ * 2), in_{std::vector<float>(block_), std::vector<float>(block_)},
        out_{std::vector<float>(block_), std::vector<float>(block_)},
        delayed_{std::vector<float>(block_), std::vector<float>(block_)}, written_(block_ * 2),
        packed_(sinks.dither != nullptr ? block_ * 2 : 0) {}

  // False when the effect changed its latency on the first block; the caller
  // then restarts it and runs a fresh pass.
  bool run(PassResult& result) {
    if (latency_ < 0) throw RenderError(effectPath_ + ": the effect reports a negative latency (" + std::to_string(latency_) + ")");
    result.latency = latency_;
    std::int64_t tail = latency_;
    bool first = true;
    for (;;) {
      std::size_t frames = source_.read(interleaved_.data(), block_);
      const std::size_t real = frames;
      if (frames == 0) {
        if (tail == 0) break;
        frames = static_cast<std::size_t>(std::min<std::int64_t>(tail, static_cast<std::int64_t>(block_)));
        std::fill_n(interleaved_.data(), frames * channels_, 0.0f);
        tail -= static_cast<std::int64_t>(frames);
      }
      deinterleave(frames);
      float* inputs[2] = {in_[0].data(), in_[1].data()};
      float* outputs[2] = {out_[0].data(), out_[1].data()};
      instance_.process(inputs, outputs, static_cast<int>(frames));
      if (instance_.latency() != latency_) {
        if (first) return false;
        throw RenderError(effectPath_ + ": the effect changed its latency from " + std::to_string(latency_) + " to " +
                          std::to_string(instance_.latency()) +
                          " samples during the render, so its output cannot be aligned");
      }
      first = false;
      if (sinks_.input != nullptr && real > 0) sinks_.input->add(interleaved_.data(), real);
      deliver(frames, result);
      result.inputFrames += static_cast<std::int64_t>(real);
      if (sinks_.progress != nullptr) sinks_.progress->update(result.inputFrames);
    }
    if (sinks_.measureReduction) result.largestReductionDb = reduction_.largestDb();
    if (sinks_.reductionCurveStep > 0) result.reductionCurveDb = reduction_.curveDb();
    return true;
  }

 private:
  void deinterleave(std::size_t frames) {
    const float* from = interleaved_.data();
    if (channels_ == 1) {
      std::copy_n(from, frames, in_[0].data());
      std::copy_n(from, frames, in_[1].data());
      return;
    }
    for (std::size_t frame = 0; frame < frames; ++frame) {
      in_[0][frame] = from[2 * frame];
      in_[1][frame] = from[2 * frame + 1];
    }
  }

  void deliver(std::size_t frames, PassResult& result) {
    // A mono file comes back as the mean of both outputs: exactly the one
    // channel for an effect that treats equal inputs alike.
    if (channels_ == 1) {
      for (std::size_t frame = 0; frame < frames; ++frame) out_[0][frame] = 0.5f * (out_[0][frame] + out_[1][frame]);
    }
    for (int channel = 0; channel < channels_; ++channel) {
      float* samples = out_[static_cast<std::size_t>(channel)].data();
      for (std::size_t frame = 0; frame < frames; ++frame) {
        if (!std::isfinite(samples[frame])) {
          throw RenderError(effectPath_ + ": the effect produced a non-finite sample (NaN or infinity) at frame " +
                            std::to_string(position_ + static_cast<std::int64_t>(frame)));
        }
        if (sinks_.clipToFullScale && std::fabs(samples[frame]) > 1.0f) {
          samples[frame] = std::copysign(1.0f, samples[frame]);
          ++result.clippedSamples;
        }
      }
    }

    // Stream positions below the latency hold what the effect gave before
    // the first input frame reached its output.
    const std::size_t lead =
        position_ >= static_cast<std::int64_t>(latency_) ? 0 : std::min<std::size_t>(frames, static_cast<std::size_t>(latency_ - position_));
    // The delayed input serves only the gain-reduction figure, which the
    // search passes do not take.
    if (sinks_.measureReduction) {
      float* inputs[2] = {in_[0].data(), in_[1].data()};
      float* delayed[2] = {delayed_[0].data(), delayed_[1].data()};
      delay_.run(inputs, delayed, frames);
      if (lead < frames) {
        const float* alignedIn[2] = {delayed_[0].data() + lead, delayed_[1].data() + lead};
        const float* alignedOut[2] = {out_[0].data() + lead, out_[1].data() + lead};
        reduction_.add(alignedIn, alignedOut, frames - lead);
      }
    }
    const std::size_t from = keepLatency_ ? 0 : lead;
    const std::size_t count = frames - from;
    position_ += static_cast<std::int64_t>(frames);
    if (count == 0) return;
    float* interleaved = written_.data();
    if (channels_ == 1) {
      std::copy_n(out_[0].data() + from, count, interleaved);
    } else {
      for (std::size_t frame = 0; frame < count; ++frame) {
        interleaved[2 * frame] = out_[0][from + frame];
        interleaved[2 * frame + 1] = out_[1][from + frame];
      }
    }
    if (sinks_.dither != nullptr) sinks_.dither->apply(interleaved, count, packed_.data());
    if (sinks_.output != nullptr) sinks_.output->add(interleaved, count);
    if (sinks_.file != nullptr) {
      if (sinks_.dither != nullptr) {
        sinks_.file->writePacked(packed_.data(), count);
      } else {
        sinks_.file->write(interleaved, count);
      }
    }
    result.outputFrames += static_cast<std::int64_t>(count);
  }

  const std::string& effectPath_;
  AudioSource& source_;
  EffectInstance& instance_;
  PassSinks& sinks_;
  int channels_;
  GainReductionMeter reduction_;
  std::size_t block_;
  int latency_;
  InputDelay delay_;
  bool keepLatency_;
  std::int64_t position_ = 0;  // frames through the effect so far
  std::vector<float> interleaved_;
  std::vector<float> in_[2];
  std::vector<float> out_[2];
  std::vector<float> delayed_[2];
  std::vector<float> written_;
  std::vector<std::int32_t> packed_;
};

}  // namespace

PassResult renderPass(AudioSource& source, Effect& effect, const Controls& controls, bool keepLatency,
                      PassSinks& sinks) {
  source.rewind();
  std::unique_ptr<EffectInstance> instance = effect.instantiate(controls);
  PassResult result;
  result.applied = instance->applied();
  {
    Pass pass(source, *instance, effect.path(), keepLatency, sinks, effect.blockSize(), effect.sampleRate());
    if (pass.run(result)) return result;
  }
  // Some effects settle their latency only once they see audio (and tell the
  // host from inside the process call). Nothing has reached the sinks yet, so
  // a restart and a second start from the top costs one block.
  instance->restart();
  source.rewind();
  result = PassResult{};
  result.applied = instance->applied();
  result.restarted = true;
  Pass pass(source, *instance, effect.path(), keepLatency, sinks, effect.blockSize(), effect.sampleRate());
  if (!pass.run(result)) {
    throw RenderError(effect.path() + ": the effect keeps changing its latency, so its output cannot be aligned");
  }
  return result;
}

}  // namespace render
