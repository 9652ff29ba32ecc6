#include "X11Window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <cairo-xlib.h>

#include <cstdlib>

#include "../../CDrawContext.h"
#include "../../CFrame.h"
#include "X11ErrorTrap.h"
#include "XdndTarget.h"

namespace VSTGUI::platform::x11 {

namespace {

X11Window* firstWindow = nullptr;
X11Window* dispatching = nullptr;
X11Window* underPointer = nullptr;

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | StructureNotifyMask;

// A second press counts as a double click within this many pixels of the
// first, as on Windows (a 4-pixel box around the first press).
constexpr int kDoubleClickDistance = 2;

WindowHandle toHandle(::Window window) { return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(window)); }

void setFixedSize(Display* display, ::Window window, int width, int height) {
  XSizeHints* hints = XAllocSizeHints();
  if (!hints) return;
  hints->flags = PMinSize | PMaxSize;
  hints->min_width = hints->max_width = width;
  hints->min_height = hints->max_height = height;
  XSetWMNormalHints(display, window, hints);
  XFree(hints);
}

::Window parentOf(Display* display, ::Window window) {
  ::Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  if (children) XFree(children);
  return parent;
}

std::int32_t buttonBit(unsigned button) {
  switch (button) {
    case Button1: return kLButton;
    case Button2: return kMButton;
    case Button3: return kRButton;
    case 8: return kButton4;
    case 9: return kButton5;
    default: return 0;
  }
}

}  // namespace

std::int32_t buttonsFromState(unsigned state) {
  std::int32_t buttons = 0;
  if (state & Button1Mask) buttons |= kLButton;
  if (state & Button2Mask) buttons |= kMButton;
  if (state & Button3Mask) buttons |= kRButton;
  if (state & ShiftMask) buttons |= kShift;
  if (state & ControlMask) buttons |= kControl;
  if (state & Mod1Mask) buttons |= kAlt;
  return buttons;
}

X11Window::X11Window(CFrame& frame_, Display* display, ::Window parent)
    : frame(frame_), display_(display), parent_(parent) {}

std::unique_ptr<X11Window> X11Window::create(CFrame& frame, ::Window parent, CCoord width, CCoord height) {
  if (!parent || width <= 0 || height <= 0) return nullptr;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  if (!adoptConnection(display)) {
    XCloseDisplay(display);
    return nullptr;
  }
  std::unique_ptr<X11Window> w(new X11Window(frame, display, parent));
  ErrorScope scope(display);
  XWindowAttributes parentAttributes{};
  // Whatever the host passed must be a window on this display.
  if (!XGetWindowAttributes(display, parent, &parentAttributes) || scope.failed()) return nullptr;

  const int screen = XScreenNumberOfScreen(parentAttributes.screen);
  w->visual = DefaultVisual(display, screen);
  // A colormap and border of our own: a parent of another depth or visual
  // (a 32-bit one with alpha) would otherwise refuse the child.
  w->colormap = XCreateColormap(display, RootWindow(display, screen), w->visual, AllocNone);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;
  attributes.border_pixel = 0;
  attributes.colormap = w->colormap;
  attributes.event_mask = kEventMask;
  w->window_ = XCreateWindow(display, parent, 0, 0, unsigned(width), unsigned(height), 0,
                             DefaultDepth(display, screen), InputOutput, w->visual,
                             CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  if (scope.failed() || !w->window_) {
    w->destroyed = true;
    return nullptr;
  }
  setFixedSize(display, w->window_, int(width), int(height));
  XMapWindow(display, w->window_);
  if (scope.failed()) return nullptr;

  w->nextWindow = firstWindow;
  firstWindow = w.get();
  return w;
}

X11Window::~X11Window() {
  for (X11Window** link = &firstWindow; *link; link = &(*link)->nextWindow) {
    if (*link == this) {
      *link = nextWindow;
      break;
    }
  }
  if (dispatching == this) dispatching = nullptr;
  if (underPointer == this) underPointer = nullptr;
  delete dropTarget;
  dropTarget = nullptr;

  // The host may have destroyed its window, and ours with it, before closing
  // the editor; the news may still be on its way.
  if (window_ && !destroyed) {
    XSync(display_, False);
    XEvent event;
    if (XCheckTypedWindowEvent(display_, window_, DestroyNotify, &event)) destroyed = true;
  }
  if (windowSurface) cairo_surface_destroy(windowSurface);
  if (backBuffer) cairo_surface_destroy(backBuffer);
  if (gc) XFreeGC(display_, gc);
  if (window_ && !destroyed) XDestroyWindow(display_, window_);
  if (colormap) XFreeColormap(display_, colormap);
  // Errors of the last requests must arrive while the connection is known as ours.
  XSync(display_, False);
  releaseConnection(display_);
  XCloseDisplay(display_);
}

WindowHandle X11Window::handle() const { return toHandle(window_); }

void X11Window::addPendingPaint(const CRect& rect) {
  const CRect& bounds = frame.getBounds();
  CRect r = rect;
  r.bound(CRect(0, 0, bounds.width(), bounds.height()));
  if (r.width() <= 0 || r.height() <= 0) return;
  if (!pendingPaint) {
    pendingRect = r;
    pendingPaint = true;
    return;
  }
  pendingRect.left = std::min(pendingRect.left, r.left);
  pendingRect.top = std::min(pendingRect.top, r.top);
  pendingRect.right = std::max(pendingRect.right, r.right);
  pendingRect.bottom = std::max(pendingRect.bottom, r.bottom);
}

void X11Window::invalidateRect(const CRect& rect) {
  if (!destroyed) addPendingPaint(rect);
}

CPoint X11Window::screenPosition() const {
  if (destroyed) return CPoint(0, 0);
  int x = 0, y = 0;
  ::Window child = 0;
  if (!XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &x, &y, &child)) return CPoint(0, 0);
  return CPoint(x, y);
}

bool X11Window::getPosition(CCoord& x, CCoord& y) const {
  if (destroyed) return false;
  // The host's window is the outer window here: X has no captions to look for.
  ::Window root = 0;
  int px = 0, py = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  if (!XGetGeometry(display_, parent_, &root, &px, &py, &w, &h, &border, &depth)) return false;
  x = px;
  y = py;
  return true;
}

bool X11Window::getSize(CRect& rect) const {
  if (destroyed) return false;
  ::Window root = 0;
  int px = 0, py = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  if (!XGetGeometry(display_, parent_, &root, &px, &py, &w, &h, &border, &depth)) return false;
  ::Window upper = parent_;
  for (int level = 0; level < 2 && upper != root; ++level) {
    const ::Window p = parentOf(display_, upper);
    if (!p) break;
    upper = p;
  }
  int x = 0, y = 0;
  ::Window child = 0;
  if (!XTranslateCoordinates(display_, parent_, upper, 0, 0, &x, &y, &child)) return false;
  rect = CRect(x, y, x + CCoord(w), y + CCoord(h));
  return true;
}

bool X11Window::resize(CCoord width, CCoord height) {
  if (destroyed || width <= 0 || height <= 0) return true;
  // Only our own window: hosts size their windows themselves.
  setFixedSize(display_, window_, int(width), int(height));
  XResizeWindow(display_, window_, unsigned(width), unsigned(height));
  XFlush(display_);
  if (windowSurface) cairo_xlib_surface_set_size(windowSurface, int(width), int(height));
  if (backBuffer) {
    cairo_surface_destroy(backBuffer);
    backBuffer = nullptr;
  }
  return true;
}

void* X11Window::registerDropTarget(CFrame& dropFrame) {
  if (destroyed) return nullptr;
  delete dropTarget;
  dropTarget = new XdndTarget(*this, dropFrame);
  return dropTarget;
}

void X11Window::revokeDropTarget(void* target) {
  if (!target || target != dropTarget) return;
  delete dropTarget;
  dropTarget = nullptr;
}

void X11Window::processEvents() {
  // A timer or a control's idle call inside an event handler comes back
  // here; the outer call finishes the work.
  if (dispatchDepth > 0) return;
  ++dispatchDepth;
  X11Window* outer = dispatching;
  dispatching = this;
  while (!destroyed && XPending(display_)) {
    XEvent event;
    XNextEvent(display_, &event);
    handleEvent(event);
  }
  if (dropTarget) dropTarget->checkTimeout(tickCount());
  pumpTimers(tickCount());
  dispatching = outer;
  --dispatchDepth;
  paint();
}

void X11Window::collectExposures() {
  if (destroyed) return;
  XEvent event;
  while (XCheckTypedWindowEvent(display_, window_, Expose, &event))
    addPendingPaint(CRect(event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                          event.xexpose.y + event.xexpose.height));
}

void X11Window::noticeDestroyed() {
  destroyed = true;
  pendingPaint = false;
  frame.windowDestroyed();
}

void X11Window::handleEvent(XEvent& event) {
  switch (event.type) {
    case Expose:
      addPendingPaint(CRect(event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                            event.xexpose.y + event.xexpose.height));
      break;
    case ButtonPress:
    case ButtonRelease:
      handleButton(event.xbutton, event.type == ButtonPress);
      break;
    case MotionNotify: {
      // Only the latest of a run of moves matters.
      XMotionEvent motion = event.xmotion;
      while (XPending(display_)) {
        XEvent peek;
        XPeekEvent(display_, &peek);
        if (peek.type != MotionNotify || peek.xmotion.window != motion.window) break;
        XNextEvent(display_, &peek);
        motion = peek.xmotion;
      }
      std::int32_t buttons = buttonsFromState(motion.state);
      if (extraButtonHeld[0]) buttons |= kButton4;
      if (extraButtonHeld[1]) buttons |= kButton5;
      CPoint where(motion.x, motion.y);
      frame.mouseMoved(where, buttons);
      break;
    }
    case EnterNotify:
      underPointer = this;
      break;
    case LeaveNotify:
      if (underPointer == this) underPointer = nullptr;
      // Grabs taken or released elsewhere also "leave"; only a real exit counts.
      if (event.xcrossing.mode == NotifyNormal) {
        CPoint where;
        frame.getMouseLocation(where);
        frame.mouseExited(where, frame.getMouseButtons());
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window_) noticeDestroyed();
      break;
    case ClientMessage:
    case SelectionNotify:
      if (dropTarget) dropTarget->handleEvent(event);
      break;
    default:
      break;
  }
}

void X11Window::handleButton(const XButtonEvent& event, bool press) {
  CPoint where(event.x, event.y);
  std::int32_t held = buttonsFromState(event.state);
  if (extraButtonHeld[0]) held |= kButton4;
  if (extraButtonHeld[1]) held |= kButton5;

  if (event.button >= 4 && event.button <= 7) {
    // Wheel notches come as presses of these buttons; their releases mean nothing.
    if (!press) return;
    const std::int32_t modifiers = held & (kShift | kControl | kAlt);
    const std::int32_t axis = event.button <= 5 ? 1 : 0;
    const float distance = (event.button == 4 || event.button == 7) ? 1.0f : -1.0f;
    frame.mouseWheelOnAxis(where, axis, distance, modifiers);
    return;
  }
  const std::int32_t bit = buttonBit(event.button);
  if (!bit) return;
  if (event.button == 8) extraButtonHeld[0] = press;
  if (event.button == 9) extraButtonHeld[1] = press;

  if (!press) {
    // As on Windows, the state after the release.
    frame.mouseUp(where, held & ~bit);
    return;
  }
  std::int32_t buttons = held | bit;
  const bool sameSpot = std::abs(event.x - lastPressX) <= kDoubleClickDistance &&
                        std::abs(event.y - lastPressY) <= kDoubleClickDistance;
  if (lastPressButton == event.button && sameSpot &&
      event.time - lastPressTime <= Time(doubleClickTime())) {
    buttons |= kDoubleClick;
    lastPressButton = 0;  // a third press starts over
  } else {
    lastPressButton = event.button;
    lastPressTime = event.time;
    lastPressX = event.x;
    lastPressY = event.y;
  }
  // The implicit grab of the press keeps the pointer's events coming to
  // this window until the release, which is all the capture we need.
  frame.mouseDown(where, buttons);
}

void X11Window::paint() {
  if (!pendingPaint || destroyed) return;
  pendingPaint = false;
  const CRect area = pendingRect;
  const CRect& bounds = frame.getBounds();
  const int width = int(bounds.width());
  const int height = int(bounds.height());
  if (width <= 0 || height <= 0) return;

  if (backBuffer && (cairo_image_surface_get_width(backBuffer) != width ||
                     cairo_image_surface_get_height(backBuffer) != height)) {
    cairo_surface_destroy(backBuffer);
    backBuffer = nullptr;
  }
  if (!backBuffer) {
    backBuffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(backBuffer) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(backBuffer);
      backBuffer = nullptr;
      return;
    }
    cairo_t* cr = cairo_create(backBuffer);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  // Drawn whole into the buffer first, then copied in one go, so the window
  // never shows a half-drawn panel.
  auto* context = new CDrawContext(&frame, backBuffer, handle());
  frame.drawRect(context, area);
  context->release();
  cairo_surface_flush(backBuffer);

  if (copyDirectly(area)) return;
  if (!windowSurface) windowSurface = cairo_xlib_surface_create(display_, window_, visual, width, height);
  cairo_t* cr = cairo_create(windowSurface);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, backBuffer, 0, 0);
  cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(windowSurface);
  XFlush(display_);
}

namespace {

// Nearly every display today is 24-bit true colour with 32 bits a pixel, the
// layout of the back buffer itself: then the pixels go to the window as they
// are, without a round through the server's rendering extension. Answers the
// depth for such a window, or 0.
int directCopyDepth(Display* display, const Visual* visual) {
  if (!visual || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF) return 0;
  const int depth = DefaultDepth(display, DefaultScreen(display));
  if (depth != 24 && depth != 32) return 0;
  int formats = 0;
  XPixmapFormatValues* list = XListPixmapFormats(display, &formats);
  bool fits = false;
  for (int i = 0; i < formats; ++i)
    if (list[i].depth == depth) fits = list[i].bits_per_pixel == 32;
  if (list) XFree(list);
  return fits ? depth : 0;
}

}  // namespace

bool X11Window::copyDirectly(const CRect& area) {
  if (copyDepth < 0) copyDepth = directCopyDepth(display_, visual);  // the window's visual never changes
  const int depth = copyDepth;
  if (depth == 0) return false;

  const int width = cairo_image_surface_get_width(backBuffer);
  const int height = cairo_image_surface_get_height(backBuffer);
  XImage* image = XCreateImage(display_, visual, unsigned(depth), ZPixmap, 0,
                               reinterpret_cast<char*>(cairo_image_surface_get_data(backBuffer)), unsigned(width),
                               unsigned(height), 32, cairo_image_surface_get_stride(backBuffer));
  if (!image) return false;
  // The buffer is in this machine's byte order; Xlib swaps for a server with
  // the other one.
  image->byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
  if (!gc) gc = XCreateGC(display_, window_, 0, nullptr);
  XPutImage(display_, window_, gc, image, int(area.left), int(area.top), int(area.left), int(area.top),
            unsigned(area.width()), unsigned(area.height()));
  image->data = nullptr;  // the pixels stay the back buffer's
  XDestroyImage(image);
  XFlush(display_);
  return true;
}

void X11Window::defineCursor(int type) {
  if (destroyed) return;
  unsigned shape = 0;
  switch (type) {
    case kCursorWait: shape = XC_watch; break;
    case kCursorHSize: shape = XC_sb_h_double_arrow; break;
    case kCursorVSize: shape = XC_sb_v_double_arrow; break;
    case kCursorSizeAll: shape = XC_fleur; break;
    case kCursorNESWSize: shape = XC_bottom_left_corner; break;
    case kCursorNWSESize: shape = XC_bottom_right_corner; break;
    case kCursorNotAllowed: shape = XC_X_cursor; break;
    case kCursorHand: shape = XC_hand2; break;
    default: break;
  }
  if (!shape) {
    XUndefineCursor(display_, window_);
  } else {
    // The window keeps the cursor alive on the server; our handle can go.
    const Cursor cursor = XCreateFontCursor(display_, shape);
    XDefineCursor(display_, window_, cursor);
    XFreeCursor(display_, cursor);
  }
  XFlush(display_);
}

X11Window* X11Window::first() { return firstWindow; }

X11Window* X11Window::find(WindowHandle handle) {
  for (X11Window* w = firstWindow; w; w = w->nextWindow)
    if (w->handle() == handle) return w;
  return nullptr;
}

X11Window* X11Window::active() {
  if (dispatching) return dispatching;
  if (underPointer) return underPointer;
  return firstWindow;
}

}  // namespace VSTGUI::platform::x11

// ---------------------------------------------------------------- the platform's free functions

namespace VSTGUI::platform {

using x11::X11Window;

std::unique_ptr<PlatformWindow> createFrameWindow(CFrame& frame, WindowHandle parent, CCoord width, CCoord height) {
  const auto parentWindow = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(parent));
  return X11Window::create(frame, parentWindow, width, height);
}

DeviceHandle acquireWindowDevice(WindowHandle window) {
  X11Window* w = X11Window::find(window);
  if (!w || !w->isAlive()) return nullptr;
  ::Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  if (!XGetGeometry(w->display(), w->window(), &root, &x, &y, &width, &height, &border, &depth)) return nullptr;
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(w->display(), w->window(), &attributes)) return nullptr;
  return cairo_xlib_surface_create(w->display(), w->window(), attributes.visual, int(width), int(height));
}

void releaseWindowDevice(WindowHandle window, DeviceHandle device) {
  auto* surface = static_cast<cairo_surface_t*>(device);
  if (!surface) return;
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  if (X11Window* w = X11Window::find(window)) XFlush(w->display());
}

namespace {
X11Window* frameIn(WindowHandle parent) {
  const auto parentWindow = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(parent));
  for (X11Window* w = X11Window::first(); w; w = w->next())
    if (w->parent() == parentWindow && w->isAlive()) return w;
  return nullptr;
}
}  // namespace

int frameEventDescriptor(WindowHandle parent) {
  X11Window* w = frameIn(parent);
  return w ? ConnectionNumber(w->display()) : -1;
}

WindowHandle frameWindowIn(WindowHandle parent) {
  X11Window* w = frameIn(parent);
  return w ? w->handle() : nullptr;
}

CPoint windowScreenPosition(WindowHandle window) {
  X11Window* w = X11Window::find(window);
  return w ? w->screenPosition() : CPoint(0, 0);
}

void dispatchPendingPaint() {
  if (!X11Window::first()) return;
  for (X11Window* w = X11Window::first(); w; w = w->next()) w->collectExposures();
  for (X11Window* w = X11Window::first(); w; w = w->next()) {
    if (w->hasPendingPaint()) {
      w->paint();
      break;
    }
  }
  pumpTimers(tickCount());
}

namespace {
bool queryPointer(CPoint& where, unsigned& mask) {
  X11Window* w = X11Window::active();
  if (!w) return false;
  ::Window root = 0, child = 0;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  if (!XQueryPointer(w->display(), DefaultRootWindow(w->display()), &root, &child, &rootX, &rootY, &x, &y, &mask))
    return false;
  where = CPoint(rootX, rootY);
  return true;
}
}  // namespace

void cursorScreenPosition(CPoint& where) {
  unsigned mask = 0;
  if (!queryPointer(where, mask)) where = CPoint(0, 0);
}

std::int32_t asyncMouseButtons() {
  CPoint where;
  unsigned mask = 0;
  return queryPointer(where, mask) ? x11::buttonsFromState(mask) : 0;
}

// The parent's cursor is the default: a window without a cursor of its own
// shows it.
CursorHandle currentCursor() { return nullptr; }

// X cursors belong to a connection, so the handle carries only the type; the
// window that shows it makes the cursor.
CursorHandle systemCursor(std::int32_t type) {
  return reinterpret_cast<CursorHandle>(static_cast<std::intptr_t>(type));
}

void setCursor(CursorHandle cursor) {
  if (X11Window* w = X11Window::active()) w->defineCursor(int(reinterpret_cast<std::intptr_t>(cursor)));
}

}  // namespace VSTGUI::platform
