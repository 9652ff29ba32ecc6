#pragma once

#include <cstdint>

#include "CBaseObject.h"

namespace VSTGUI {

// The message a timer's listener receives; compare by address.
extern const char* const kMsgTimerFired;

// Notifies a listener periodically on the user-interface thread. A new timer
// is stopped; the listener must outlive the running timer.
class CVSTGUITimer : public CBaseObject {
 public:
  CVSTGUITimer(CBaseObject* listener, std::uint32_t intervalMs);
  ~CVSTGUITimer() override;

  virtual bool start();
  virtual bool stop();
  // Answers false for the current interval; a running timer restarts with the
  // new one.
  virtual bool setInterval(std::uint32_t intervalMs);

  std::uint32_t getInterval() const { return interval; }
  bool isRunning() const { return platformTimer != 0; }

  // How many timers run; for the tests' bookkeeping of the running list.
  static std::size_t runningCount();

 private:
  static void timerFired(std::uint32_t id);

  std::uint32_t interval;
  CBaseObject* listener;
  std::uint32_t platformTimer = 0;
};

}  // namespace VSTGUI
