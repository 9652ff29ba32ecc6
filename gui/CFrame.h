#pragma once

#include <cstdint>
#include <memory>

#include "CViewContainer.h"
#include "platform/Platform.h"

namespace VSTGUI {

class COffscreenContext;
class IMouseObserver;
class VSTGUIEditorInterface;

namespace platform {
class PlatformWindow;
}

enum CCursorType : std::int32_t {
  kCursorDefault = 0,
  kCursorWait,
  kCursorHSize,
  kCursorVSize,
  kCursorSizeAll,
  kCursorNESWSize,
  kCursorNWSESize,
  kCursorCopy,
  kCursorNotAllowed,
  kCursorHand,
};

// The root of the view tree. It owns the child window inside the host's
// window, routes the window's events to the views, keeps the focus view, the
// modal view and the view under the mouse, and forwards idle work and edit
// brackets to the editor. Keys come from the editor bridge, not the window.
//
// A frame made without a parent window has no window of its own but works
// otherwise; drawing it then needs a context given to drawRect.
class CFrame : public CViewContainer {
 public:
  CFrame(const CRect& size, platform::WindowHandle parentWindow, VSTGUIEditorInterface* editor);
  ~CFrame() override;

  virtual bool idle();
  virtual void editorIdle();
  virtual std::uint32_t ticks() const;
  virtual std::int32_t knobMode() const;
  virtual bool setPosition(CCoord x, CCoord y);
  virtual bool getPosition(CCoord& x, CCoord& y) const;
  virtual bool setSize(CCoord width, CCoord height);
  virtual bool getSize(CRect* rect) const;
  virtual bool getSize(CRect& rect) const;
  // Shows a view above everything, taking mouse presses and keys first; null
  // removes the current one.
  virtual bool setModalView(CView* view);
  virtual CView* getModalView() const;
  virtual void beginEdit(std::int32_t index);
  virtual void endEdit(std::int32_t index);
  virtual bool getMouseLocation(CPoint& where) const;
  virtual std::int32_t getMouseButtons() const;
  virtual void setCursor(std::int32_t type);
  virtual void setFocusView(CView* view);
  virtual CView* getFocusView() const;
  // Called for a view leaving the tree, so no field keeps pointing at it.
  virtual void viewRemoved(CView* view);
  virtual bool setDropActive(bool state);
  virtual bool isDropActive() const;
  virtual void setOpen(bool state);
  virtual bool isOpen() const;
  // Every direct child overlapping rect is marked dirty.
  virtual void markDirtyIn(const CRect& rect);
  virtual IMouseObserver* getMouseObserver() const;
  virtual void setMouseObserver(IMouseObserver* observer);

  void draw(CDrawContext* context) override;
  void drawRect(CDrawContext* context, const CRect& updateRect) override;
  void invalidRect(const CRect& rect) override;
  void invalid() override;
  CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons) override;
  CMouseEventResult mouseMoved(CPoint& where, std::int32_t buttons) override;
  CMouseEventResult mouseExited(CPoint& where, std::int32_t buttons) override;
  bool mouseWheelOnAxis(const CPoint& where, std::int32_t axis, float distance,
                        std::int32_t buttons) override;
  std::int32_t keyDown(const CKeyCode& key) override;
  std::int32_t keyUp(const CKeyCode& key) override;
  bool moveFocus(CView* oldFocus, bool reverse = false) override;
  bool removeView(CView* view, bool withRelease = true) override;
  bool removeAllViews(bool withRelease = true) override;
  VSTGUIEditorInterface* getEditor() const override;
  bool isKindOf(const char* className) const override;
  // A frame cannot be copied.
  CView* clone() const override;

  // A new context on the frame's window; the caller releases it.
  CDrawContext* createDrawContext();
  // Null unless the platform wants the frame drawn into a buffer first.
  COffscreenContext* getBackBuffer();
  platform::PlatformWindow* getPlatformWindow() const { return window.get(); }
  platform::WindowHandle getParentWindow() const { return parentWindow; }
  // The window tells the frame that it is being destroyed.
  void windowDestroyed();
  bool isMouseTracking() const { return mouseTracking; }
  CView* getMouseOverView() const { return mouseOverView; }
  CView* getMouseDownView() const { return mouseDownView; }

 private:
  // Sends the view under the mouse its exit (at the point made local to it) and forgets it.
  void leaveMouseOverView(const CPoint& where, std::int32_t buttons);
  void notifyAncestors(CView* view, const char* message);

  VSTGUIEditorInterface* editor;
  IMouseObserver* mouseObserver = nullptr;
  platform::WindowHandle parentWindow;
  CView* modalView = nullptr;
  CView* focusView = nullptr;
  CView* mouseOverView = nullptr;
  bool open = true;
  bool dropActive = false;
  std::unique_ptr<platform::PlatformWindow> window;
  void* dropTarget = nullptr;
  COffscreenContext* backBuffer = nullptr;
  bool mouseTracking = false;
  platform::CursorHandle defaultCursor = nullptr;
  bool defaultCursorKnown = false;
};

}  // namespace VSTGUI
