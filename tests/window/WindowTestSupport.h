#pragma once
// The host side of the window tests: a connection of its own to the test's X
// server, top-level windows to put editors in, real input through XTest and
// the window's pixels read back with XGetImage.

// Test framework first: Xlib defines macros (None, Bool, Status) that
// clash with names inside it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace windowtest {

// Where the tests put their top-level windows on the screen, so that window
// and screen coordinates differ.
constexpr int kTopLeftX = 60;
constexpr int kTopLeftY = 40;

class HostDisplay {
 public:
  HostDisplay() : display(XOpenDisplay(nullptr)) {}
  ~HostDisplay() {
    if (display) XCloseDisplay(display);
  }
  HostDisplay(const HostDisplay&) = delete;
  HostDisplay& operator=(const HostDisplay&) = delete;

  Display* get() const { return display; }
  ::Window root() const { return DefaultRootWindow(display); }

  // A mapped top-level window; with a visual (and its depth) other than the
  // default one when given.
  ::Window makeTopLevel(int width = 400, int height = 260, Visual* visual = nullptr, int depth = 0) {
    XSetWindowAttributes a{};
    unsigned long mask = CWBackPixel | CWBorderPixel | CWEventMask;
    a.background_pixel = 0x404040;
    a.border_pixel = 0;
    a.event_mask = StructureNotifyMask;
    if (visual) {
      a.colormap = XCreateColormap(display, root(), visual, AllocNone);
      mask |= CWColormap;
    } else {
      visual = DefaultVisual(display, DefaultScreen(display));
      depth = DefaultDepth(display, DefaultScreen(display));
    }
    ::Window w = XCreateWindow(display, root(), kTopLeftX, kTopLeftY, unsigned(width), unsigned(height), 0,
                               depth, InputOutput, visual, mask, &a);
    XMapWindow(display, w);
    XEvent e;
    do XWindowEvent(display, w, StructureNotifyMask, &e);
    while (e.type != MapNotify);
    return w;
  }

  std::vector<::Window> children(::Window w) const {
    ::Window rootReturn = 0, parent = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<::Window> out;
    if (XQueryTree(display, w, &rootReturn, &parent, &list, &count)) {
      out.assign(list, list + count);
      if (list) XFree(list);
    }
    return out;
  }

  // Root coordinates of a point of the window.
  void toScreen(::Window w, int x, int y, int& sx, int& sy) const {
    ::Window child = 0;
    XTranslateCoordinates(display, w, root(), x, y, &sx, &sy, &child);
  }

  void moveTo(::Window w, int x, int y) {
    int sx = 0, sy = 0;
    toScreen(w, x, y, sx, sy);
    XTestFakeMotionEvent(display, -1, sx, sy, CurrentTime);
    XSync(display, False);
  }
  void press(unsigned button) {
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XSync(display, False);
  }
  void release(unsigned button) {
    XTestFakeButtonEvent(display, button, False, CurrentTime);
    XSync(display, False);
  }
  void click(unsigned button = 1) {
    press(button);
    release(button);
  }
  void key(KeySym sym, bool down) {
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), down ? True : False, CurrentTime);
    XSync(display, False);
  }

  // The window's pixels as 0xRRGGBB, row by row.
  std::vector<std::uint32_t> capture(::Window w, int width, int height) const {
    std::vector<std::uint32_t> pixels;
    XImage* image = XGetImage(display, w, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    if (!image) return pixels;
    pixels.reserve(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) pixels.push_back(std::uint32_t(XGetPixel(image, x, y)) & 0xFFFFFFu);
    XDestroyImage(image);
    return pixels;
  }

  // Drops whatever the host's own windows were sent.
  void drain() {
    while (XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
    }
  }

 private:
  Display* display;
};

inline void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace windowtest
