#include "CVSTGUITimer.h"

#include <algorithm>
#include <vector>

#include "platform/Platform.h"

namespace VSTGUI {

const char* const kMsgTimerFired = "timer fired";

namespace {
// The platform reports only an identifier; this maps it back to the timer.
std::vector<CVSTGUITimer*>& runningTimers() {
  static std::vector<CVSTGUITimer*> list;
  return list;
}
}  // namespace

CVSTGUITimer::CVSTGUITimer(CBaseObject* listener_, std::uint32_t intervalMs)
    : interval(intervalMs), listener(listener_) {}

CVSTGUITimer::~CVSTGUITimer() { stop(); }

bool CVSTGUITimer::start() {
  if (platformTimer) return true;
  platformTimer = platform::startTimer(interval, &CVSTGUITimer::timerFired);
  if (platformTimer) runningTimers().push_back(this);
  return platformTimer != 0;
}

bool CVSTGUITimer::stop() {
  if (!platformTimer) return false;
  platform::killTimer(platformTimer);
  auto& list = runningTimers();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  platformTimer = 0;
  return true;
}

bool CVSTGUITimer::setInterval(std::uint32_t intervalMs) {
  if (intervalMs == interval) return false;
  const bool wasRunning = stop();
  interval = intervalMs;
  return wasRunning ? start() : true;
}

std::size_t CVSTGUITimer::runningCount() { return runningTimers().size(); }

void CVSTGUITimer::timerFired(std::uint32_t id) {
  for (CVSTGUITimer* timer : runningTimers()) {
    if (timer->platformTimer != id) continue;
    if (timer->listener) timer->listener->notify(timer, kMsgTimerFired);
    return;
  }
}

}  // namespace VSTGUI
