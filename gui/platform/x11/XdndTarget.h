#pragma once

// Drops from other X clients through the XDND protocol (version 5): the
// frame's window declares itself aware, the windows around it name it as
// their proxy (sources that look only at the top-level window find it that
// way), and the protocol's messages turn into the frame's drag operations.

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

#include "../../CPoint.h"

namespace VSTGUI {
class CFrame;
}

namespace VSTGUI::platform::x11 {

class X11DragContainer;
class X11Window;

class XdndTarget {
 public:
  XdndTarget(X11Window& window, CFrame& frame);
  // Takes the proxies back where they still name our window.
  ~XdndTarget();
  XdndTarget(const XdndTarget&) = delete;
  XdndTarget& operator=(const XdndTarget&) = delete;

  void handleEvent(const XEvent& event);
  // Ends a drop whose data never came (the source went away).
  void checkTimeout(std::uint32_t now);

  static constexpr long kVersion = 5;
  // How long a drop waits for its data.
  static constexpr std::uint32_t kDataTimeout = 2000;

 private:
  void enter(const XClientMessageEvent& message);
  void position(const XClientMessageEvent& message);
  void leave(const XClientMessageEvent& message);
  void drop(const XClientMessageEvent& message);
  void dataArrived(const XSelectionEvent& selection);
  // Hands the drop to the frame and tells the source that it is over.
  void finishDrop(bool delivered);
  void endDrag();
  void send(::Window to, Atom type, long l0, long l1, long l2, long l3, long l4);
  CPoint mouseLocation() const;
  // Through the proxy the host's whole window reports here; only the
  // editor's own area takes a drop.
  bool overFrame() const;

  X11Window& window;
  CFrame& frame;
  Display* display;
  std::vector<::Window> proxied;

  // The drag in progress.
  X11DragContainer* container = nullptr;
  ::Window source = 0;
  ::Window addressed = 0;  // the window the source talks to: ours or a proxied one
  std::vector<Atom> offered;
  bool dropping = false;
  std::uint32_t dropStarted = 0;
  Atom requested = None;

  struct Atoms {
    Atom aware, proxy, enter, position, status, leave, drop, finished, actionCopy, typeList, selection;
    Atom uriList, utf8String, textPlainUtf8, textPlain, property, incr;
  } atoms{};
};

}  // namespace VSTGUI::platform::x11
