#include "host/render/Progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace render {

namespace {
constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;
}  // namespace

Progress::Progress(bool enabled) : enabled_(enabled && isatty(STDERR_FILENO) == 1), started_(Clock::now()) {}

Progress::Progress(BatchProgress& batch, bool addsStages)
    : enabled_(false), started_(Clock::now()), batch_(&batch), addsStages_(addsStages) {}

Progress::~Progress() { end(); }

void Progress::begin(std::string label, std::int64_t totalFrames) {
  if (batch_ != nullptr && addsStages_ && totalFrames > 0) batch_->expect(totalFrames);
  forwarded_ = 0;
  label_ = std::move(label);
  total_ = totalFrames;
  lastDraw_ = {};
  update(0);
}

void Progress::update(std::int64_t doneFrames) {
  if (batch_ != nullptr) {
    batch_->advance(doneFrames - forwarded_);
    forwarded_ = doneFrames;
    return;
  }
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - started_ < kQuietStart || now - lastDraw_ < kRedrawEvery) return;
  lastDraw_ = now;
  draw(doneFrames);
}

void Progress::draw(std::int64_t done) {
  std::string line(1, '\r');
  line += label_;
  line += ' ';
  if (total_ > 0) {
    const double share = done >= total_ ? 1.0 : static_cast<double>(done) / static_cast<double>(total_);
    const int filled = std::clamp(static_cast<int>(share * kBarWidth), 0, kBarWidth);
    line += '[';
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    line += "] ";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(share * 100.0));
    line += percent;
  } else {
    line += std::to_string(done) + " frames";
  }
  line += "\033[K";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::end() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

void BatchProgress::begin(std::string label, std::int64_t totalFrames) {
  const std::lock_guard<std::mutex> lock(mutex_);
  done_ = 0;
  total_ = totalFrames;
  bar_.begin(std::move(label), totalFrames);
}

void BatchProgress::expect(std::int64_t frames) {
  if (frames <= 0) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  total_ += frames;
  bar_.setTotal(total_);
}

void BatchProgress::advance(std::int64_t frames) {
  const std::lock_guard<std::mutex> lock(mutex_);
  done_ += frames;
  bar_.update(done_);
}

void BatchProgress::end() {
  const std::lock_guard<std::mutex> lock(mutex_);
  bar_.end();
}

}  // namespace render
