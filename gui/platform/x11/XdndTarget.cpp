#include "XdndTarget.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <string>

#include "../../CFrame.h"
#include "../Platform.h"
#include "X11DragContainer.h"
#include "X11ErrorTrap.h"
#include "X11Window.h"

namespace VSTGUI::platform::x11 {

namespace {

bool readWindowProperty(Display* display, ::Window window, Atom property, ::Window& value) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display, window, property, 0, 1, False, XA_WINDOW, &type, &format,
                                        &count, &after, &data);
  const bool found = status == Success && type == XA_WINDOW && format == 32 && count == 1 && data;
  if (found) value = ::Window(*reinterpret_cast<unsigned long*>(data));
  if (data) XFree(data);
  return found;
}

}  // namespace

XdndTarget::XdndTarget(X11Window& window_, CFrame& frame_)
    : window(window_), frame(frame_), display(window_.display()) {
  const char* names[] = {"XdndAware",     "XdndProxy",  "XdndEnter",      "XdndPosition",
                         "XdndStatus",    "XdndLeave",  "XdndDrop",       "XdndFinished",
                         "XdndActionCopy", "XdndTypeList", "XdndSelection", "text/uri-list",
                         "UTF8_STRING",   "text/plain;charset=utf-8", "text/plain", "QUELMAR_DROP",
                         "INCR"};
  Atom* slots[] = {&atoms.aware,      &atoms.proxy,    &atoms.enter,      &atoms.position, &atoms.status,
                   &atoms.leave,      &atoms.drop,     &atoms.finished,   &atoms.actionCopy, &atoms.typeList,
                   &atoms.selection,  &atoms.uriList,  &atoms.utf8String, &atoms.textPlainUtf8,
                   &atoms.textPlain,  &atoms.property, &atoms.incr};
  Atom interned[std::size(names)];
  XInternAtoms(display, const_cast<char**>(names), int(std::size(names)), False, interned);
  for (std::size_t i = 0; i < std::size(names); ++i) *slots[i] = interned[i];

  const ::Window self = window.window();
  const long version = kVersion;
  XChangeProperty(display, self, atoms.aware, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&version), 1);
  const unsigned long selfValue = self;
  XChangeProperty(display, self, atoms.proxy, XA_WINDOW, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&selfValue), 1);

  // Up to the top-level window (the root's child), every window that has no
  // proxy of its own names ours.
  ErrorScope scope(display);
  ::Window current = window.parent();
  for (int depth = 0; current && depth < 64; ++depth) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, current, &root, &parent, &children, &count)) break;
    if (children) XFree(children);
    if (current == root) break;
    ::Window existing = 0;
    if (!readWindowProperty(display, current, atoms.proxy, existing)) {
      XChangeProperty(display, current, atoms.proxy, XA_WINDOW, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&selfValue), 1);
      proxied.push_back(current);
    }
    if (parent == root) break;
    current = parent;
  }
  scope.failed();
}

XdndTarget::~XdndTarget() {
  endDrag();
  ErrorScope scope(display);
  // The host's windows may be gone already; the errors are ours to swallow.
  for (::Window w : proxied) {
    ::Window existing = 0;
    if (readWindowProperty(display, w, atoms.proxy, existing) && existing == window.window())
      XDeleteProperty(display, w, atoms.proxy);
  }
  scope.failed();
}

CPoint XdndTarget::mouseLocation() const {
  // As with the other drop targets: where the pointer is, not where the
  // message says.
  CPoint where;
  frame.getMouseLocation(where);
  return where;
}

bool XdndTarget::overFrame() const { return frame.getBounds().pointInside(mouseLocation()); }

void XdndTarget::send(::Window to, Atom type, long l0, long l1, long l2, long l3, long l4) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.display = display;
  event.xclient.window = to;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = l0;
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  event.xclient.data.l[4] = l4;
  XSendEvent(display, to, False, NoEventMask, &event);
  XFlush(display);
}

void XdndTarget::handleEvent(const XEvent& event) {
  if (event.type == SelectionNotify) {
    if (event.xselection.requestor == window.window()) dataArrived(event.xselection);
    return;
  }
  if (event.type != ClientMessage || event.xclient.format != 32) return;
  const XClientMessageEvent& message = event.xclient;
  if (message.message_type == atoms.enter)
    enter(message);
  else if (message.message_type == atoms.position)
    position(message);
  else if (message.message_type == atoms.leave)
    leave(message);
  else if (message.message_type == atoms.drop)
    drop(message);
}

void XdndTarget::endDrag() {
  if (container) container->release();
  container = nullptr;
  source = 0;
  addressed = 0;
  offered.clear();
  dropping = false;
  requested = None;
}

void XdndTarget::enter(const XClientMessageEvent& message) {
  // A new source while another drag still hangs (its source vanished): the
  // old one is over.
  if (container) {
    frame.dragLeave(container, mouseLocation());
    endDrag();
  }
  source = ::Window(message.data.l[0]);
  addressed = message.window;
  offered.clear();
  if (message.data.l[1] & 1) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ErrorScope scope(display);
    if (XGetWindowProperty(display, source, atoms.typeList, 0, 1024, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success &&
        type == XA_ATOM && format == 32 && data) {
      const auto* list = reinterpret_cast<const unsigned long*>(data);
      offered.assign(list, list + count);
    }
    if (data) XFree(data);
    scope.failed();
  } else {
    for (int i = 2; i < 5; ++i)
      if (message.data.l[i]) offered.push_back(Atom(message.data.l[i]));
  }
  const auto offers = [this](Atom a) { return std::find(offered.begin(), offered.end(), a) != offered.end(); };
  const bool textOnly = !offers(atoms.uriList) &&
                        (offers(atoms.utf8String) || offers(atoms.textPlainUtf8) || offers(atoms.textPlain));
  container = new X11DragContainer(textOnly);
  frame.dragEnter(container, mouseLocation());
}

void XdndTarget::position(const XClientMessageEvent& message) {
  const ::Window from = ::Window(message.data.l[0]);
  const bool ours = container && from == source && !dropping;
  if (ours) frame.dragMove(container, mouseLocation());
  // Answered every time, with an empty rectangle so that every move comes;
  // beside the editor the drop is refused rather than taken from the host.
  const bool accept = ours && overFrame();
  send(from, atoms.status, long(message.window), accept ? 3 : 2, 0, 0, accept ? long(atoms.actionCopy) : None);
}

void XdndTarget::leave(const XClientMessageEvent& message) {
  if (!container || ::Window(message.data.l[0]) != source || dropping) return;
  frame.dragLeave(container, mouseLocation());
  endDrag();
}

void XdndTarget::drop(const XClientMessageEvent& message) {
  const ::Window from = ::Window(message.data.l[0]);
  if (!container || from != source || dropping) {
    // Nothing to take; the source still hears that the drop is over.
    send(from, atoms.finished, long(message.window), 0, None, 0, 0);
    return;
  }
  if (!overFrame()) {  // refused, as the last status said
    frame.dragLeave(container, mouseLocation());
    endDrag();
    send(from, atoms.finished, long(message.window), 0, None, 0, 0);
    return;
  }
  const auto offers = [this](Atom a) { return std::find(offered.begin(), offered.end(), a) != offered.end(); };
  requested = None;
  for (Atom preferred : {atoms.uriList, atoms.utf8String, atoms.textPlainUtf8, atoms.textPlain}) {
    if (offers(preferred)) {
      requested = preferred;
      break;
    }
  }
  dropping = true;
  dropStarted = tickCount();
  if (requested == None) {
    finishDrop(false);
    return;
  }
  const Time time = Time(message.data.l[2]);
  XConvertSelection(display, atoms.selection, requested, atoms.property, window.window(), time ? time : CurrentTime);
  XFlush(display);
}

void XdndTarget::dataArrived(const XSelectionEvent& selection) {
  if (!dropping || selection.selection != atoms.selection) return;
  bool delivered = false;
  if (selection.property != None) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // File lists and dropped text are small; incremental transfers are
    // refused rather than half-read.
    if (XGetWindowProperty(display, window.window(), selection.property, 0, 1 << 22, True, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 8 && type != atoms.incr && after == 0) {
      const std::string bytes(reinterpret_cast<const char*>(data), count);
      if (requested == atoms.uriList)
        container->setFiles(X11DragContainer::localPaths(bytes));
      else
        container->setText(bytes);
      delivered = true;
    }
    if (data) XFree(data);
  }
  finishDrop(delivered);
}

void XdndTarget::finishDrop(bool delivered) {
  frame.dragDrop(container, mouseLocation());
  const ::Window to = source;
  const ::Window from = addressed;
  endDrag();
  ErrorScope scope(display);
  send(to, atoms.finished, long(from), delivered ? 1 : 0, delivered ? long(atoms.actionCopy) : None, 0, 0);
  scope.failed();
}

void XdndTarget::checkTimeout(std::uint32_t now) {
  if (!dropping || now - dropStarted < kDataTimeout) return;
  // The source is gone or never answers: the drag is over without a drop.
  frame.dragLeave(container, mouseLocation());
  const ::Window to = source;
  const ::Window from = addressed;
  endDrag();
  ErrorScope scope(display);
  send(to, atoms.finished, long(from), 0, None, 0, 0);
  scope.failed();
}

}  // namespace VSTGUI::platform::x11
