#pragma once
// A one-line progress bar on stderr, for people at a terminal: it stays away
// from pipes and logs, and from renders too short to need it.

#include <chrono>
#include <cstdint>
#include <string>

namespace render {

class Progress {
 public:
  // Shown only when enabled and stderr is a terminal, and only once the job
  // (counted from construction, across all passes) has run for a second.
  explicit Progress(bool enabled);
  ~Progress();

  void begin(std::string label, std::int64_t totalFrames);
  void update(std::int64_t doneFrames);
  void end();  // wipes the line, so what follows starts clean

 private:
  using Clock = std::chrono::steady_clock;
  void draw(std::int64_t done);

  bool enabled_;
  Clock::time_point started_;
  Clock::time_point lastDraw_{};
  std::string label_;
  std::int64_t total_ = -1;
  bool drawn_ = false;
};

}  // namespace render
