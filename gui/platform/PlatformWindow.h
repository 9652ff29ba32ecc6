#pragma once

// The frame's own child window inside the host's window. The platform creates
// it, turns its events into calls on the frame (paint, mouse, wheel) and
// answers the frame's questions about the window and the windows around it.

#include <cstdint>
#include <memory>

#include "Platform.h"

namespace VSTGUI {
class CFrame;
}

namespace VSTGUI::platform {

class PlatformWindow {
 public:
  virtual ~PlatformWindow() = default;

  virtual WindowHandle handle() const = 0;
  // Asks for a later paint of the area (frame coordinates).
  virtual void invalidateRect(const CRect& rect) = 0;
  // Top-left corner of the window's client area on the screen.
  virtual CPoint screenPosition() const = 0;
  // Requests one leave notification, answered by CFrame::mouseExited.
  virtual void trackMouseLeave() = 0;
  // Position of the outer window (the host's editor window) in its parent.
  virtual bool getPosition(CCoord& x, CCoord& y) const = 0;
  // The host window's rectangle in the coordinates of the window above it.
  virtual bool getSize(CRect& rect) const = 0;
  // Resizes the window and the host's windows around it for a new frame size.
  // Answers false when a host window turned out to size itself, in which case
  // the frame keeps its bounds.
  virtual bool resize(CCoord width, CCoord height) = 0;

  // The drop registration for the window; null where there is none.
  virtual void* registerDropTarget(CFrame& frame) = 0;
  virtual void revokeDropTarget(void* target) = 0;

  // Where the platform has no message loop of its own, the frame's idle calls
  // this to handle what arrived for the window since the last call (input,
  // exposure, due timers) and to paint what is waiting. Elsewhere the
  // platform's own loop does all that, and this does nothing.
  virtual void processEvents() {}
};

// Creates the frame's child window of the given size inside parent. Null when
// no window can be made (a headless build makes none).
std::unique_ptr<PlatformWindow> createFrameWindow(CFrame& frame, WindowHandle parent, CCoord width,
                                                  CCoord height);

// The device a window context draws on when it is given only a window, and
// its return when the context goes.
DeviceHandle acquireWindowDevice(WindowHandle window);
void releaseWindowDevice(WindowHandle window, DeviceHandle device);
CPoint windowScreenPosition(WindowHandle window);

// For a host that runs the editor from a loop of its own and watches file
// descriptors in it: the descriptor on which the events of the frame window
// made inside parent arrive, so that the host can idle the editor as soon as
// input comes. -1 where there is none: no such window, or a system whose
// windows get their events through its own message loop.
int frameEventDescriptor(WindowHandle parent);

// The frame window made inside parent, for a host that wants to hold the
// editor's own window; null where there is none.
WindowHandle frameWindowIn(WindowHandle parent);

// Performs at most one paint that is waiting for any window of the calling
// thread, so a window repaints while a long mouse gesture keeps its event
// loop from running. Does nothing where no paint is pending.
void dispatchPendingPaint();

}  // namespace VSTGUI::platform
