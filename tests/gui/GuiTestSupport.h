#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/CControl.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"
#include "gui/VSTGUIEditorInterface.h"
#include "gui/platform/Platform.h"

namespace guitest {

using namespace VSTGUI;

// A clock the test moves by hand; sleeping advances it.
class FakeClock : public platform::Clock {
 public:
  std::uint32_t now = 1000;
  std::vector<std::uint32_t> sleeps;
  std::uint32_t ticks() override { return now; }
  void sleep(std::uint32_t ms) override {
    sleeps.push_back(ms);
    now += ms;
  }
};

class ScopedClock {
 public:
  explicit ScopedClock(platform::Clock* c) : previous(platform::setClock(c)) {}
  ~ScopedClock() { platform::setClock(previous); }

 private:
  platform::Clock* previous;
};

// A headless frame that records what it would ask its window to repaint.
class RecordingFrame : public CFrame {
 public:
  explicit RecordingFrame(const CRect& r = CRect(0, 0, 340, 215), VSTGUIEditorInterface* editor = nullptr)
      : CFrame(r, nullptr, editor) {}
  std::vector<CRect> invalidated;
  void invalidRect(const CRect& rect) override {
    if (isVisible()) invalidated.push_back(rect);
  }
};

class FakeEditor : public VSTGUIEditorInterface {
 public:
  std::vector<std::string> calls;
  std::int32_t mode = 0;
  void idleProcessing() override { calls.push_back("idle"); }
  std::int32_t getKnobMode() const override { return mode; }
  void beginEdit(std::int32_t index) override { calls.push_back("begin " + std::to_string(index)); }
  void endEdit(std::int32_t index) override { calls.push_back("end " + std::to_string(index)); }
};

// A view that answers the mouse as told and logs what reaches it.
class ProbeView : public CView {
 public:
  explicit ProbeView(const CRect& r, std::vector<std::string>* log = nullptr, std::string name = "")
      : CView(r), log(log), name(std::move(name)) {}
  std::vector<std::string>* log;
  std::string name;
  CMouseEventResult downResult = kMouseEventHandled;
  CMouseEventResult movedResult = kMouseEventHandled;
  std::int32_t keyResult = kKeyNotHandled;
  bool wheelResult = true;
  CPoint lastPoint;
  float lastDistance = 0;

  void note(const std::string& what, const CPoint& p) {
    lastPoint = p;
    if (log) log->push_back(name + " " + what);
  }
  CMouseEventResult mouseDown(CPoint& p, std::int32_t) override {
    note("down", p);
    return downResult;
  }
  CMouseEventResult mouseUp(CPoint& p, std::int32_t) override {
    note("up", p);
    return kMouseEventHandled;
  }
  CMouseEventResult mouseMoved(CPoint& p, std::int32_t) override {
    note("moved", p);
    return movedResult;
  }
  CMouseEventResult mouseEntered(CPoint& p, std::int32_t) override {
    note("entered", p);
    return kMouseEventHandled;
  }
  CMouseEventResult mouseExited(CPoint& p, std::int32_t) override {
    note("exited", p);
    return kMouseEventHandled;
  }
  bool mouseWheel(const CPoint& p, float distance, std::int32_t) override {
    lastDistance = distance;
    note("wheel", p);
    return wheelResult;
  }
  std::int32_t keyDown(const CKeyCode&) override {
    note("key", CPoint());
    return keyResult;
  }
  void gainFocus() override { note("gain", CPoint()); }
  void loseFocus() override { note("lose", CPoint()); }
};

// A view that fills its bounds with one colour.
class SolidView : public CView {
 public:
  SolidView(const CRect& r, CColor c) : CView(r), color(c) {}
  CColor color;
  void draw(CDrawContext* context) override {
    context->setFillColor(color);
    context->drawRectangle(size, kDrawFilled);
    setDirty(false);
  }
};

// A minimal concrete control.
class TestControl : public CControl {
 public:
  using CControl::CControl;
  void draw(CDrawContext*) override { setDirty(false); }
  CView* clone() const override { return new TestControl(*this); }
};

inline CColor pixel(const COffscreenContext& context, CCoord x, CCoord y) {
  CColor c{0, 0, 0, 0};
  context.getPixel(x, y, c);
  return c;
}

inline bool isTransparent(const CColor& c) { return c.alpha == 0; }

}  // namespace guitest
