#include "X11ErrorTrap.h"

#include <dlfcn.h>

#include <atomic>

namespace VSTGUI::platform::x11 {

namespace {

// The handler may run on any thread of the host that uses Xlib, while the
// editor's thread opens and closes connections, so the table is lock-free.
constexpr int kMaxConnections = 64;
std::atomic<Display*> connections[kMaxConnections];
std::atomic<unsigned long> errorCounts[kMaxConnections];

int installedCount = 0;  // connections open; only the editor's thread changes it
std::atomic<XErrorHandler> previousHandler{nullptr};
bool handlerInstalled = false;

int slotOf(Display* display) {
  for (int i = 0; i < kMaxConnections; ++i)
    if (connections[i].load(std::memory_order_acquire) == display) return i;
  return -1;
}

int handleError(Display* display, XErrorEvent* error) {
  const int slot = slotOf(display);
  if (slot >= 0) {
    errorCounts[slot].fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  const XErrorHandler previous = previousHandler.load(std::memory_order_acquire);
  return previous ? previous(display, error) : 0;
}

// Someone installed a handler after ours and may call ours from theirs: the
// code must stay mapped even when the host unloads the plug-in.
void keepLibraryLoaded() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&handleError), &info) && info.dli_fname)
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace

bool adoptConnection(Display* display) {
  if (!display) return false;
  int slot = slotOf(nullptr);
  if (slot < 0) return false;
  errorCounts[slot].store(0, std::memory_order_relaxed);
  connections[slot].store(display, std::memory_order_release);
  if (installedCount++ == 0 && !handlerInstalled) {
    previousHandler.store(XSetErrorHandler(&handleError), std::memory_order_release);
    handlerInstalled = true;
  }
  return true;
}

void releaseConnection(Display* display) {
  const int slot = display ? slotOf(display) : -1;
  if (slot < 0) return;
  connections[slot].store(nullptr, std::memory_order_release);
  if (--installedCount > 0 || !handlerInstalled) return;
  XErrorHandler current = XSetErrorHandler(previousHandler.load(std::memory_order_acquire));
  if (current == &handleError) {
    handlerInstalled = false;
    return;
  }
  // Not ours on top any more: put theirs back and stay in their chain.
  XSetErrorHandler(current);
  keepLibraryLoaded();
}

ErrorScope::ErrorScope(Display* display_) : display(display_) {
  const int slot = slotOf(display);
  start = slot >= 0 ? errorCounts[slot].load(std::memory_order_relaxed) : 0;
}

bool ErrorScope::failed() {
  XSync(display, False);
  const int slot = slotOf(display);
  return slot >= 0 && errorCounts[slot].load(std::memory_order_relaxed) != start;
}

}  // namespace VSTGUI::platform::x11
