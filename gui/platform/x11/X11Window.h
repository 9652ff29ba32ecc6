#pragma once

// The frame's child window on X11. Each window has a connection of its own,
// used only on the thread that made it. There is no message loop on Linux to
// deliver its events: the host's idle requests drain the connection through
// processEvents, which also fires due timers and paints what is waiting.

#include <X11/Xlib.h>
#include <cairo.h>

#include <memory>

#include "../PlatformWindow.h"

namespace VSTGUI::platform::x11 {

class XdndTarget;

class X11Window final : public PlatformWindow {
 public:
  // Null when the display cannot be opened or parent is no window.
  static std::unique_ptr<X11Window> create(CFrame& frame, ::Window parent, CCoord width, CCoord height);
  ~X11Window() override;

  WindowHandle handle() const override;
  void invalidateRect(const CRect& rect) override;
  CPoint screenPosition() const override;
  // Leave events come by themselves on X11.
  void trackMouseLeave() override {}
  bool getPosition(CCoord& x, CCoord& y) const override;
  bool getSize(CRect& rect) const override;
  bool resize(CCoord width, CCoord height) override;
  void* registerDropTarget(CFrame& frame) override;
  void revokeDropTarget(void* target) override;
  void processEvents() override;

  Display* display() const { return display_; }
  ::Window window() const { return window_; }
  ::Window parent() const { return parent_; }
  bool isAlive() const { return !destroyed; }

  // Reads the exposures that have arrived without touching other events.
  void collectExposures();
  bool hasPendingPaint() const { return pendingPaint; }
  // Paints what is waiting, if anything.
  void paint();
  // The cursor of CFrame::setCursor's type; 0 gives back the parent's.
  void defineCursor(int type);

  // The windows made on the calling thread that are still alive, newest first.
  static X11Window* first();
  X11Window* next() const { return nextWindow; }
  static X11Window* find(WindowHandle handle);
  // The window whose event is being handled, else the one under the pointer,
  // else the newest.
  static X11Window* active();

 private:
  X11Window(CFrame& frame, Display* display, ::Window parent);
  void handleEvent(XEvent& event);
  void handleButton(const XButtonEvent& event, bool press);
  void addPendingPaint(const CRect& rect);
  // Copies an area of the back buffer to the window with XPutImage; false
  // where the window's pixel layout differs from the buffer's.
  bool copyDirectly(const CRect& area);
  void noticeDestroyed();

  CFrame& frame;
  Display* display_;
  ::Window parent_;
  ::Window window_ = 0;
  Colormap colormap = 0;
  Visual* visual = nullptr;
  bool destroyed = false;

  cairo_surface_t* backBuffer = nullptr;
  cairo_surface_t* windowSurface = nullptr;  // only where the buffer cannot be copied as it is
  int copyDepth = -1;                         // the depth of a window the buffer copies to as it is; 0 if none
  GC gc = nullptr;
  bool pendingPaint = false;
  CRect pendingRect;

  XdndTarget* dropTarget = nullptr;
  int dispatchDepth = 0;

  // Double clicks: the press before, by button, server time and place.
  unsigned lastPressButton = 0;
  Time lastPressTime = 0;
  int lastPressX = 0;
  int lastPressY = 0;
  // Core X reports the state of buttons 1 to 5 only.
  bool extraButtonHeld[2] = {false, false};

  X11Window* nextWindow = nullptr;
};

// Button bits and modifiers of the frame from an X event state.
std::int32_t buttonsFromState(unsigned state);

}  // namespace VSTGUI::platform::x11
