#pragma once

// X errors on the editor's own connections must never reach the host's error
// handler (whose default ends the process), and errors on the host's
// connections must still reach it. One process-wide handler tells them apart
// by the connection the error arrived on.

#include <X11/Xlib.h>

namespace VSTGUI::platform::x11 {

// Registers a connection as ours; the first one installs the handler. False
// when too many connections are open at once.
bool adoptConnection(Display* display);
// Forgets a connection before it is closed; the last one hands the handler
// back to whichever was installed before it, where that is still possible.
void releaseConnection(Display* display);

// Counts the errors of one of our connections over a stretch of requests.
class ErrorScope {
 public:
  explicit ErrorScope(Display* display);
  // Waits for the server to answer everything sent so far; true when any
  // request since construction failed.
  bool failed();

 private:
  Display* display;
  unsigned long start;
};

}  // namespace VSTGUI::platform::x11
