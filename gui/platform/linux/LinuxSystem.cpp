// Time, timers and the system queries of the Linux build.

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "../Platform.h"

namespace VSTGUI::platform {

namespace {

class SystemClock final : public Clock {
 public:
  std::uint32_t ticks() override {
    using namespace std::chrono;
    return std::uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
  }
  void sleep(std::uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};


// Shorter intervals than this are raised to it, as the Windows build's timers
// do; it also keeps a window's event loop from spinning.
constexpr std::uint32_t kShortestInterval = 10;

struct TimerEntry {
  std::uint32_t id;
  std::uint32_t interval;
  std::uint32_t due;
  TimerCallback callback;
};

std::vector<TimerEntry>& timers() {
  static std::vector<TimerEntry> list;
  return list;
}

std::uint32_t lastTimerId = 0;

bool isDue(std::uint32_t due, std::uint32_t now) { return std::int32_t(now - due) >= 0; }

}  // namespace

Clock& systemClock() {
  static SystemClock clock;
  return clock;
}

// The usual desktop setting; there is no display to ask in a headless build.
std::int32_t doubleClickTime() { return 400; }

std::uint32_t startTimer(std::uint32_t intervalMs, TimerCallback callback) {
  if (!callback) return 0;
  auto& list = timers();
  std::uint32_t id = lastTimerId;
  do {
    ++id;
  } while (id == 0 || std::any_of(list.begin(), list.end(), [id](const TimerEntry& t) { return t.id == id; }));
  lastTimerId = id;
  const std::uint32_t interval = std::max(intervalMs, kShortestInterval);
  list.push_back({id, interval, tickCount() + interval, callback});
  return id;
}

void killTimer(std::uint32_t id) {
  auto& list = timers();
  list.erase(std::remove_if(list.begin(), list.end(), [id](const TimerEntry& t) { return t.id == id; }),
             list.end());
}

void pumpTimers(std::uint32_t now) {
  // Callbacks may start and stop timers, so the due ones are collected first
  // and each is looked up again before it fires. Like the Windows timer
  // message, a timer that missed several intervals fires once.
  std::vector<std::uint32_t> due;
  for (const TimerEntry& t : timers())
    if (isDue(t.due, now)) due.push_back(t.id);
  for (std::uint32_t id : due) {
    auto& list = timers();
    auto it = std::find_if(list.begin(), list.end(), [id](const TimerEntry& t) { return t.id == id; });
    if (it == list.end()) continue;
    it->due = now + it->interval;
    TimerCallback callback = it->callback;
    callback(id);
  }
}

bool nextTimerDue(std::uint32_t& due) {
  const auto& list = timers();
  if (list.empty()) return false;
  const std::uint32_t now = tickCount();
  std::int64_t best = INT64_MAX;
  for (const TimerEntry& t : list) best = std::min<std::int64_t>(best, std::int32_t(t.due - now));
  due = now + std::uint32_t(std::max<std::int64_t>(best, 0));
  return true;
}

// Linux compositors and X servers double-buffer for us.
bool wantsBackBuffer() { return false; }

// Drag-and-drop needs no per-thread initialisation here.
void oleInitialize() {}
void oleUninitialize() {}

}  // namespace VSTGUI::platform
