// Which clock the framework reads: the system's, or one a test installed.

#include "Platform.h"

namespace VSTGUI::platform {

namespace {
Clock* installedClock = nullptr;

Clock& activeClock() { return installedClock ? *installedClock : systemClock(); }
}  // namespace

std::uint32_t tickCount() { return activeClock().ticks(); }
void sleep(std::uint32_t milliseconds) { activeClock().sleep(milliseconds); }

Clock* setClock(Clock* clock) {
  Clock* previous = installedClock;
  installedClock = clock;
  return previous;
}

}  // namespace VSTGUI::platform
