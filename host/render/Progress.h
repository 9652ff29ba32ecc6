#pragma once
// A one-line progress bar on stderr, for people at a terminal: it stays away
// from pipes and logs, and from renders too short to need it.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace render {

class BatchProgress;

class Progress {
 public:
  // Shown only when enabled and stderr is a terminal, and only once the job
  // (counted from construction, across all passes) has run for a second.
  explicit Progress(bool enabled);
  // Draws nothing itself: the frames it is told about move a batch's bar.
  // With addsStages, each stage it begins also adds its frames to the bar's
  // length, for a file whose number of passes is not known in advance.
  explicit Progress(BatchProgress& batch, bool addsStages = false);
  ~Progress();

  void begin(std::string label, std::int64_t totalFrames);
  void update(std::int64_t doneFrames);
  void end();  // wipes the line, so what follows starts clean
  void setTotal(std::int64_t totalFrames) { total_ = totalFrames; }

 private:
  using Clock = std::chrono::steady_clock;
  void draw(std::int64_t done);

  bool enabled_;
  Clock::time_point started_;
  Clock::time_point lastDraw_{};
  std::string label_;
  std::int64_t total_ = -1;
  bool drawn_ = false;
  BatchProgress* batch_ = nullptr;
  bool addsStages_ = false;
  std::int64_t forwarded_ = 0;
};

// One bar for files rendered at once on several threads: each stage counts
// the frames of every file in it.
class BatchProgress {
 public:
  explicit BatchProgress(bool enabled) : bar_(enabled) {}
  void begin(std::string label, std::int64_t totalFrames);
  void expect(std::int64_t frames);   // more frames in this stage, from any thread
  void advance(std::int64_t frames);  // from any thread
  void end();

 private:
  std::mutex mutex_;
  Progress bar_;
  std::int64_t done_ = 0;
  std::int64_t total_ = 0;
};

}  // namespace render
