// The frame's own X11 window in this process: how real X input, timers and
// drops from another X client reach the frame and its views.

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "WindowTestSupport.h"  // before the other X11 headers, see there

#include <X11/Xatom.h>
#include <X11/extensions/Xfixes.h>
#include "gui/CDragContainer.h"
#include "gui/CFrame.h"
#include "gui/CVSTGUITimer.h"
#include "gui/platform/Platform.h"
#include "gui/platform/PlatformWindow.h"

namespace windowtest {
namespace {

using namespace VSTGUI;

struct DragRecord {
  std::string kind;  // enter, move, leave, drop
  std::int32_t count = 0;
  std::int32_t typeQuery = 0;
  std::vector<std::string> items;
  std::vector<std::int32_t> types;
};

class RecordingView : public CView {
 public:
  using CView::CView;
  CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons) override {
    downs.push_back(buttons);
    lastDown = where;
    return kMouseEventHandled;
  }
  CMouseEventResult mouseUp(CPoint&, std::int32_t buttons) override {
    ups.push_back(buttons);
    return kMouseEventHandled;
  }
  CMouseEventResult mouseExited(CPoint&, std::int32_t) override {
    ++exits;
    return kMouseEventHandled;
  }
  bool mouseWheelOnAxis(const CPoint&, std::int32_t axis, float distance, std::int32_t buttons) override {
    wheels.push_back({axis, distance, buttons});
    return true;
  }
  void dragEnter(CDragContainer* drag, const CPoint&) override { record("enter", drag); }
  void dragMove(CDragContainer* drag, const CPoint&) override { record("move", drag); }
  void dragLeave(CDragContainer* drag, const CPoint&) override { record("leave", drag); }
  bool dragDrop(CDragContainer* drag, const CPoint&) override {
    record("drop", drag);
    return false;  // no view of the plug-in takes drops either
  }

  struct Wheel {
    std::int32_t axis;
    float distance;
    std::int32_t buttons;
    bool operator==(const Wheel&) const = default;
  };
  std::vector<std::int32_t> downs, ups;
  std::vector<Wheel> wheels;
  CPoint lastDown;
  int exits = 0;
  std::vector<DragRecord> drags;

  const DragRecord* find(const std::string& kind) const {
    for (const auto& d : drags)
      if (d.kind == kind) return &d;
    return nullptr;
  }

 private:
  void record(const char* kind, CDragContainer* drag) {
    DragRecord r;
    r.kind = kind;
    r.count = drag->itemCount();
    r.typeQuery = drag->itemType(0);
    std::int32_t size = 0, type = 0;
    for (const char* item = drag->firstItem(size, type); item; item = drag->nextItem(size, type)) {
      r.items.emplace_back(item, std::size_t(size));
      r.types.push_back(type);
    }
    drags.push_back(std::move(r));
  }
};

class FrameWindow : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display.get()) << "no X server";
    top = display.makeTopLevel();
    frame = new CFrame(CRect(0, 0, 200, 120), reinterpret_cast<void*>(top), nullptr);
    view = new RecordingView(CRect(0, 0, 200, 120));
    frame->addView(view);
    child = static_cast<::Window>(reinterpret_cast<std::uintptr_t>(frame->getPlatformWindow()
                                                                       ? frame->getPlatformWindow()->handle()
                                                                       : nullptr));
    ASSERT_NE(child, 0u);
    pump(40);
  }
  void TearDown() override {
    if (frame) frame->release();
  }
  // The host's idle loop, every 10 ms; until stop says so when given.
  void pump(int milliseconds, const std::function<bool()>& stop = {}) {
    for (int t = 0; t < milliseconds; t += 10) {
      frame->idle();
      if (extra) extra();
      display.drain();
      if (stop && stop()) return;
      sleepMs(10);
    }
  }

  HostDisplay display;
  ::Window top = 0;
  ::Window child = 0;
  CFrame* frame = nullptr;
  RecordingView* view = nullptr;
  std::function<void()> extra;
};

TEST_F(FrameWindow, PressesWheelsAndExitsCarryButtonsAndModifiers) {
  display.moveTo(child, 50, 40);
  display.click();
  display.click();  // quickly on the same spot: a double click
  display.click();  // and a third starts over
  pump(40);
  EXPECT_EQ(view->downs, (std::vector<std::int32_t>{kLButton, kLButton | kDoubleClick, kLButton}));
  EXPECT_EQ(view->lastDown, CPoint(50, 40));
  ASSERT_EQ(view->ups.size(), 3u);
  EXPECT_EQ(view->ups[0], 0);  // the state after the release

  display.key(XK_Shift_L, true);
  display.key(XK_Control_L, true);
  display.click(3);
  display.key(XK_Control_L, false);
  display.key(XK_Shift_L, false);
  display.click(2);
  display.moveTo(child, 60, 40);  // far enough from the last press
  display.click(8);
  pump(40);
  EXPECT_EQ(view->downs, (std::vector<std::int32_t>{kLButton, kLButton | kDoubleClick, kLButton,
                                                    kRButton | kShift | kControl, kMButton, kButton4}));

  display.key(XK_Alt_L, true);
  display.click(4);
  display.key(XK_Alt_L, false);
  display.click(5);
  display.click(6);
  display.click(7);
  pump(40);  // up, down, left, right; the axis 1 is the vertical one
  EXPECT_EQ(view->wheels,
            (std::vector<RecordingView::Wheel>{{1, 1.0f, kAlt}, {1, -1.0f, 0}, {0, -1.0f, 0}, {0, 1.0f, 0}}));

  // A press already ended the hovering; hover again, then leave the child.
  display.moveTo(child, 70, 50);
  pump(20);
  ASSERT_EQ(frame->getMouseOverView(), view);
  const int exitsBefore = view->exits;
  display.moveTo(top, 380, 240);  // out of the child, still over the host's window
  pump(40);
  EXPECT_EQ(view->exits, exitsBefore + 1);
  EXPECT_EQ(frame->getMouseOverView(), nullptr);

  CPoint where;
  display.moveTo(child, 7, 9);
  EXPECT_TRUE(frame->getMouseLocation(where));
  EXPECT_EQ(where, CPoint(7, 9));
}

// Size and position come from the X server; a new size changes only the
// frame's own window, and a window the host destroyed closes the frame.
TEST_F(FrameWindow, SizeAndPositionFollowTheWindowsUntilTheHostDestroysThem) {
  CRect rect;
  ASSERT_TRUE(frame->getSize(rect));
  EXPECT_EQ(rect, CRect(kTopLeftX, kTopLeftY, kTopLeftX + 400, kTopLeftY + 260));
  CCoord x = 0, y = 0;
  ASSERT_TRUE(frame->getPosition(x, y));
  EXPECT_EQ(x, kTopLeftX);
  EXPECT_EQ(y, kTopLeftY);

  EXPECT_FALSE(frame->setSize(200, 120));  // the size it has
  EXPECT_TRUE(frame->setSize(220, 130));
  EXPECT_EQ(frame->getBounds(), CRect(0, 0, 220, 130));
  XWindowAttributes attributes{};
  XSync(display.get(), False);
  XGetWindowAttributes(display.get(), child, &attributes);
  EXPECT_EQ(attributes.width, 220);
  EXPECT_EQ(attributes.height, 130);
  XGetWindowAttributes(display.get(), top, &attributes);
  EXPECT_EQ(attributes.width, 400);
  pump(20);
  EXPECT_EQ(display.capture(child, 220, 130).size(), 220u * 130u);

  XDestroyWindow(display.get(), top);
  XSync(display.get(), False);
  pump(20);
  EXPECT_FALSE(frame->isOpen());
  EXPECT_FALSE(frame->getSize(rect));
  EXPECT_FALSE(frame->setSize(300, 200));
  frame->setCursor(kCursorHand);  // harmless on a window that is gone
  frame->invalid();
  pump(20);
}

// The cursor the pointer shows over the window, by its name in the cursor font.
TEST_F(FrameWindow, CursorsComeFromTheCursorFontAndTheParentsIsTheDefault) {
  auto shown = [&] {
    XFixesCursorImage* image = XFixesGetCursorImage(display.get());
    std::string name = image && image->name ? image->name : "";
    if (image) XFree(image);
    return name;
  };
  // The frame's requests travel on its own connection; give the server a
  // moment to get to them.
  auto becomes = [&](const std::string& expected) {
    for (int i = 0; i < 100 && shown() != expected; ++i) sleepMs(5);
    return shown();
  };
  display.moveTo(child, 20, 20);
  const std::string parents = shown();
  frame->setCursor(kCursorHand);
  EXPECT_EQ(becomes("hand2"), "hand2");
  frame->setCursor(kCursorCopy);  // no such cursor: back to the default
  EXPECT_EQ(becomes(parents), parents);
  frame->setCursor(kCursorWait);
  EXPECT_EQ(becomes("watch"), "watch");
  frame->release();  // the frame leaves the parent's cursor behind
  frame = nullptr;
  EXPECT_EQ(becomes(parents), parents);
}

class CountingListener : public CBaseObject {
 public:
  std::int32_t notify(CBaseObject*, const char* message) override {
    if (message == kMsgTimerFired) ++fired;
    return 1;
  }
  int fired = 0;
};

TEST_F(FrameWindow, TimersFireFromTheFramesIdleAndNowhereElse) {
  CountingListener listener;
  auto* timer = new CVSTGUITimer(&listener, 35);
  ASSERT_TRUE(timer->start());
  sleepMs(80);
  EXPECT_EQ(listener.fired, 0);
  frame->idle();
  EXPECT_EQ(listener.fired, 1);  // late, and once only
  frame->idle();
  EXPECT_EQ(listener.fired, 1);
  sleepMs(40);
  frame->idle();
  EXPECT_EQ(listener.fired, 2);
  timer->release();
}

// ---------------------------------------------------------------- drops

// A drag source of the kind file managers are, on a connection of its own.
class XdndSource {
 public:
  XdndSource() : d(XOpenDisplay(nullptr)) {
    window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const char* names[] = {"XdndAware",  "XdndProxy",   "XdndEnter",    "XdndPosition",   "XdndStatus",
                           "XdndLeave",  "XdndDrop",    "XdndFinished", "XdndActionCopy", "XdndTypeList",
                           "XdndSelection", "text/uri-list", "UTF8_STRING"};
    Atom* slots[] = {&aware, &proxy, &enterAtom, &positionAtom, &status, &leaveAtom, &dropAtom,
                     &finished, &copy, &typeList, &selection, &uriList, &utf8};
    for (std::size_t i = 0; i < std::size(names); ++i) *slots[i] = XInternAtom(d, names[i], False);
    XSetSelectionOwner(d, selection, window, CurrentTime);
    XSync(d, False);
  }
  ~XdndSource() {
    if (d) XCloseDisplay(d);
  }
  // Gone without a word, in the middle of whatever it was doing.
  void vanish() {
    XCloseDisplay(d);
    d = nullptr;
  }

  void enter(::Window to, ::Window target, const std::vector<Atom>& types) {
    long flags = 5L << 24;
    long inline_[3] = {0, 0, 0};
    if (types.size() > 3) {
      flags |= 1;
      XChangeProperty(d, window, typeList, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(types.data()), int(types.size()));
    } else {
      for (std::size_t i = 0; i < types.size(); ++i) inline_[i] = long(types[i]);
    }
    send(to, target, enterAtom, long(window), flags, inline_[0], inline_[1], inline_[2]);
  }
  void position(::Window to, ::Window target, int rootX, int rootY) {
    send(to, target, positionAtom, long(window), 0, long(rootX) << 16 | rootY, CurrentTime, long(copy));
  }
  void leave(::Window to, ::Window target) { send(to, target, leaveAtom, long(window), 0, 0, 0, 0); }
  void drop(::Window to, ::Window target) { send(to, target, dropAtom, long(window), 0, CurrentTime, 0, 0); }

  // Reads what the target sent and hands out the data when asked.
  void serve() {
    if (!d) return;
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == ClientMessage && e.xclient.message_type == status) statuses.push_back(e.xclient);
      if (e.type == ClientMessage && e.xclient.message_type == finished) finishes.push_back(e.xclient);
      if (e.type == SelectionRequest && answer) {
        const XSelectionRequestEvent& r = e.xselectionrequest;
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = r.requestor;
        reply.xselection.selection = r.selection;
        reply.xselection.target = r.target;
        reply.xselection.time = r.time;
        reply.xselection.property = None;
        if (r.target == dataType) {
          XChangeProperty(d, r.requestor, r.property, r.target, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
          reply.xselection.property = r.property;
        }
        XSendEvent(d, r.requestor, False, NoEventMask, &reply);
        XFlush(d);
      }
    }
  }

  long cardinal(::Window w, Atom property, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* bytes = nullptr;
    long value = -1;
    if (XGetWindowProperty(d, w, property, 0, 1, False, type, &actual, &format, &count, &after, &bytes) == Success &&
        bytes && count == 1)
      value = long(*reinterpret_cast<unsigned long*>(bytes));
    if (bytes) XFree(bytes);
    return value;
  }

  Display* d;
  ::Window window = 0;
  Atom aware, proxy, enterAtom, positionAtom, status, leaveAtom, dropAtom, finished, copy, typeList, selection,
      uriList, utf8;
  std::string data;
  Atom dataType = None;
  bool answer = true;
  std::vector<XClientMessageEvent> statuses, finishes;

 private:
  void send(::Window to, ::Window target, Atom type, long l0, long l1, long l2, long l3, long l4) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = target;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(d, to, False, NoEventMask, &e);
    XFlush(d);
  }
};

class FrameDrop : public FrameWindow {
 protected:
  void SetUp() override {
    FrameWindow::SetUp();
    extra = [this] { source.serve(); };
    char pattern[] = "/tmp/quelmar-drop-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    dir = pattern;
    std::ofstream(dir + "/take one.wav") << "a";
    std::ofstream(dir + "/target.wav") << "b";
    std::filesystem::create_symlink(dir + "/target.wav", dir + "/link.wav");
    char resolved[PATH_MAX];
    ASSERT_TRUE(realpath((dir + "/target.wav").c_str(), resolved));
    linkTarget = resolved;
    source.dataType = source.uriList;
    source.data = "file://" + dir + "/take%20one.wav\r\nfile://" + dir + "/link.wav\r\n";
    // Drop targets ask where the pointer is.
    display.moveTo(child, 100, 60);
  }
  void TearDown() override {
    FrameWindow::TearDown();
    std::filesystem::remove_all(dir);
  }
  // Enters the child's middle and waits for the target's first answer.
  void enter(XdndSource& from, ::Window to, ::Window target, const std::vector<Atom>& types) {
    int rx = 0, ry = 0;
    display.toScreen(child, 100, 60, rx, ry);
    from.enter(to, target, types);
    from.position(to, target, rx, ry);
    pump(500, [&] { return !from.statuses.empty(); });
  }
  void dragAndDrop(XdndSource& from, ::Window to, ::Window target, const std::vector<Atom>& types) {
    enter(from, to, target, types);
    from.drop(to, target);
    pump(1000, [&] { return !from.finishes.empty(); });
  }
  void dragAndDrop(::Window to, ::Window target, std::vector<Atom> types = {}) {
    if (types.empty()) types = {source.uriList, source.utf8};
    dragAndDrop(source, to, target, types);
  }

  XdndSource source;
  std::string dir;
  std::string linkTarget;
};

TEST_F(FrameDrop, FilesDroppedOnTheChildArriveAsLocalPaths) {
  dragAndDrop(child, child);
  ASSERT_FALSE(source.statuses.empty());
  EXPECT_EQ(::Window(source.statuses[0].data.l[0]), child);
  EXPECT_EQ(source.statuses[0].data.l[1] & 1, 1);
  EXPECT_EQ(Atom(source.statuses[0].data.l[4]), source.copy);
  ASSERT_EQ(source.finishes.size(), 1u);
  EXPECT_EQ(source.finishes[0].data.l[1] & 1, 1);
  EXPECT_EQ(Atom(source.finishes[0].data.l[2]), source.copy);

  // Enter, moves, the drop, and the container's own leave after it.
  ASSERT_GE(view->drags.size(), 4u);
  EXPECT_EQ(view->drags.front().kind, "enter");
  EXPECT_EQ(view->drags[1].kind, "move");
  EXPECT_EQ(view->drags[view->drags.size() - 2].kind, "drop");
  EXPECT_EQ(view->drags.back().kind, "leave");
  const DragRecord* drop = view->find("drop");
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(drop->count, 2);
  EXPECT_EQ(drop->typeQuery, CDragContainer::kFile);
  ASSERT_EQ(drop->items.size(), 2u);
  EXPECT_EQ(drop->items[0], dir + "/take one.wav");
  EXPECT_EQ(drop->items[1], linkTarget);  // the link's target, not the link
  EXPECT_EQ(drop->types, (std::vector<std::int32_t>{CDragContainer::kFile, CDragContainer::kFile}));
}

// GTK sources look only at the top-level window and follow its proxy.
TEST_F(FrameDrop, SourcesThatAddressTheTopLevelFindTheChildThroughTheProxy) {
  EXPECT_EQ(source.cardinal(top, source.proxy, XA_WINDOW), long(child));
  EXPECT_EQ(source.cardinal(child, source.proxy, XA_WINDOW), long(child));
  EXPECT_EQ(source.cardinal(child, source.aware, XA_ATOM), 5);
  // More types than fit into the message: the list is a property of the source.
  const Atom gnome = XInternAtom(source.d, "x-special/gnome-copied-files", False);
  const Atom plain = XInternAtom(source.d, "text/plain", False);
  dragAndDrop(child, top, {gnome, plain, source.utf8, source.uriList});
  ASSERT_FALSE(source.statuses.empty());
  EXPECT_EQ(::Window(source.statuses[0].data.l[0]), top);
  ASSERT_EQ(source.finishes.size(), 1u);
  EXPECT_EQ(::Window(source.finishes[0].data.l[0]), top);
  const DragRecord* drop = view->find("drop");
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(drop->items, (std::vector<std::string>{dir + "/take one.wav", linkTarget}));

  // Beside the editor on the host's window the drop is refused, not taken.
  view->drags.clear();
  source.statuses.clear();
  source.finishes.clear();
  display.moveTo(top, 380, 240);
  int rx = 0, ry = 0;
  display.toScreen(top, 380, 240, rx, ry);
  source.enter(child, top, {source.uriList});
  source.position(child, top, rx, ry);
  pump(500, [&] { return !source.statuses.empty(); });
  ASSERT_FALSE(source.statuses.empty());
  EXPECT_EQ(source.statuses.back().data.l[1] & 1, 0);
  source.drop(child, top);
  pump(1000, [&] { return !source.finishes.empty(); });
  ASSERT_EQ(source.finishes.size(), 1u);
  EXPECT_EQ(source.finishes[0].data.l[1] & 1, 0);
  EXPECT_EQ(view->find("drop"), nullptr);

  // Closing takes the proxy back from the host's window.
  frame->release();
  frame = nullptr;
  XSync(source.d, False);
  EXPECT_EQ(source.cardinal(top, source.proxy, XA_WINDOW), -1);
}

TEST_F(FrameDrop, TextArrivesAsOneUnicodeItem) {
  source.dataType = source.utf8;
  source.data = "Grüße";
  dragAndDrop(child, child, {source.utf8});
  const DragRecord* drop = view->find("drop");
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(drop->count, 1);
  EXPECT_EQ(drop->typeQuery, CDragContainer::kText);
  EXPECT_EQ(drop->items, std::vector<std::string>{"Grüße"});
  EXPECT_EQ(drop->types, std::vector<std::int32_t>{CDragContainer::kUnicodeText});
}

TEST_F(FrameDrop, ADragThatLeavesOrWhoseSourceFallsSilentEndsWithoutADrop) {
  enter(source, child, child, {source.uriList});
  source.leave(child, child);
  pump(60);
  ASSERT_NE(view->find("leave"), nullptr);
  EXPECT_EQ(view->find("drop"), nullptr);
  EXPECT_TRUE(source.finishes.empty());

  // A source that never hands over its data: the drop times out, and the
  // source still hears that it is over.
  view->drags.clear();
  source.answer = false;
  source.statuses.clear();
  enter(source, child, child, {source.uriList});
  source.drop(child, child);
  pump(3000, [&] { return !source.finishes.empty(); });
  ASSERT_EQ(source.finishes.size(), 1u);
  EXPECT_EQ(source.finishes[0].data.l[1] & 1, 0);
  EXPECT_NE(view->find("leave"), nullptr);
  EXPECT_EQ(view->find("drop"), nullptr);
}

TEST_F(FrameDrop, ASourceThatVanishesMidDropLeavesAWorkingTarget) {
  enter(source, child, child, {source.uriList});
  source.drop(child, child);
  source.vanish();
  pump(2500, [&] { return view->find("drop") || view->find("leave"); });
  const DragRecord* drop = view->find("drop");
  ASSERT_TRUE(drop || view->find("leave"));
  if (drop) {
    EXPECT_EQ(drop->count, 0);
  }

  // The next drag, from a new source, works.
  view->drags.clear();
  XdndSource next;
  next.dataType = next.uriList;
  next.data = "file://" + dir + "/target.wav\r\n";
  extra = [&] { next.serve(); };
  dragAndDrop(next, child, child, {next.uriList});
  drop = view->find("drop");
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(drop->items, std::vector<std::string>{linkTarget});
}

}  // namespace
}  // namespace windowtest
