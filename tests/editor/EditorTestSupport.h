#pragma once
// An instance made in the test binary with a recording host callback, its
// editor opened headless through the record's dispatcher, and helpers to press
// and render the frame.

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "editor/CDraw.h"
#include "editor/COnOffButton.h"
#include "editor/CParamDisplay.h"
#include "editor/CSlider.h"
#include "editor/CSplashScreen.h"
#include "editor/QuelmarEditor.h"
#include "gui/CBitmap.h"
#include "gui/GuiTestSupport.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"
#include "gui/CVSTGUITimer.h"
#include "gui/platform/Platform.h"
#include "plugin/Quelmar.h"

namespace editortest {

using namespace VSTGUI;

struct Request {
  VstInt32 opcode;
  VstInt32 index;
  float opt;
  bool operator==(const Request&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Request& r) {
  return os << "{" << r.opcode << ", " << r.index << ", " << r.opt << "}";
}

// Requests the plug-in sends, for every instance of the test binary.
inline std::mutex requestMutex;
inline std::vector<Request> requests;

inline VstIntPtr VST_CALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
  {
    std::lock_guard<std::mutex> lock(requestMutex);
    requests.push_back({opcode, index, opt});
  }
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetSampleRate: return 44100;
    default: return 0;
  }
}

// The edit brackets and automation the host saw, in order.
inline std::vector<Request> editRequests() {
  std::lock_guard<std::mutex> lock(requestMutex);
  std::vector<Request> out;
  for (const Request& r : requests)
    if (r.opcode == audioMasterAutomate || r.opcode == audioMasterBeginEdit || r.opcode == audioMasterEndEdit)
      out.push_back(r);
  return out;
}

inline std::size_t countRequests(VstInt32 opcode) {
  std::lock_guard<std::mutex> lock(requestMutex);
  std::size_t n = 0;
  for (const Request& r : requests) n += r.opcode == opcode;
  return n;
}

inline void clearRequests() {
  std::lock_guard<std::mutex> lock(requestMutex);
  requests.clear();
}

inline Request begin(VstInt32 index) { return {audioMasterBeginEdit, index, 0.0f}; }
inline Request end(VstInt32 index) { return {audioMasterEndEdit, index, 0.0f}; }
inline Request automate(VstInt32 index, float value) { return {audioMasterAutomate, index, value}; }

// The GUI tests' hand-moved clock, started where the editor tests expect it.
struct FakeClock : guitest::FakeClock {
  FakeClock() { now = 5000; }
};

// One instance, as a host holds it: created with the host callback, reached
// through its record.
class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearRequests();
    previousClock = platform::setClock(&clock);
    instance = new Quelmar(&hostCallback, &createQuelmarEditor);
    record = instance->getAeffect();
  }
  void TearDown() override {
    if (record) dispatch(effClose);
    platform::setClock(previousClock);
  }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    const VstIntPtr result = record->dispatcher(record, opcode, index, value, ptr, opt);
    if (opcode == effClose) record = nullptr;
    return result;
  }
  void setParameter(VstInt32 index, float value) { record->setParameter(record, index, value); }
  float getParameter(VstInt32 index) { return record->getParameter(record, index); }

  QuelmarEditor* editor() const { return static_cast<QuelmarEditor*>(instance->getEditor()); }
  CFrame* frame() const { return editor()->getFrame(); }
  // Opens headless and paints once, as a window's first paint would.
  void openEditor() {
    ASSERT_EQ(dispatch(effEditOpen), 1);
    ASSERT_NE(frame(), nullptr);
    COffscreenContext screen(frame(), 340, 215);
    paint(screen);
    clearRequests();
  }
  void paint(COffscreenContext& screen) { frame()->drawRect(&screen, frame()->getBounds()); }

  CMouseEventResult press(CCoord x, CCoord y, std::int32_t buttons = kLButton) {
    CPoint p(x, y);
    return frame()->mouseDown(p, buttons);
  }
  CMouseEventResult move(CCoord x, CCoord y, std::int32_t buttons = kLButton) {
    CPoint p(x, y);
    return frame()->mouseMoved(p, buttons);
  }
  CMouseEventResult release(CCoord x, CCoord y, std::int32_t buttons = 0) {
    CPoint p(x, y);
    return frame()->mouseUp(p, buttons);
  }

  FakeClock clock;
  platform::Clock* previousClock = nullptr;
  Quelmar* instance = nullptr;
  AEffect* record = nullptr;
};

inline CColor pixel(const COffscreenContext& context, CCoord x, CCoord y) {
  CColor c{0, 0, 0, 0};
  context.getPixel(x, y, c);
  return c;
}

// True when both contexts hold the same pixels inside r.
inline bool samePixels(const COffscreenContext& a, const COffscreenContext& b, const CRect& r) {
  for (CCoord y = r.top; y < r.bottom; ++y)
    for (CCoord x = r.left; x < r.right; ++x)
      if (!(pixel(a, x, y) == pixel(b, x, y))) return false;
  return true;
}

}  // namespace editortest
