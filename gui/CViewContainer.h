#pragma once

#include "CColor.h"
#include "CView.h"

namespace VSTGUI {

class COffscreenContext;

// A view that holds other views, draws them in the order they were added
// (the last on top) and routes events to them. It holds one reference to each
// child.
class CViewContainer : public CView {
 public:
  explicit CViewContainer(const CRect& size);
  ~CViewContainer() override;

  // Inserts in front of `before`; when `before` is not a child, in front of
  // the last child.
  virtual bool addView(CView* view, CView* before);
  virtual bool addView(CView* view, const CRect& mouseArea, bool mouseEnabled = true);
  virtual bool addView(CView* view);
  // withRelease gives back the caller's reference as well as the container's.
  virtual bool removeView(CView* view, bool withRelease = true);
  virtual bool removeAllViews(bool withRelease = true);
  virtual bool hasChild(CView* view) const;
  virtual std::int32_t viewCount() const;
  virtual CView* viewAt(std::int32_t index) const;
  virtual CView* viewAtPoint(const CPoint& where, bool deep = false) const;
  virtual CViewContainer* containerAtPoint(const CPoint& where, bool deep = true);
  virtual void setBackgroundColor(const CColor& color);
  virtual CColor getBackgroundColor() const;
  virtual void setBackgroundOffset(const CPoint& offset);
  virtual const CPoint& getBackgroundOffset() const;
  virtual void drawBackground(CDrawContext* context, const CRect& rect);
  virtual void setDrawOffscreen(bool state);
  virtual bool moveFocus(CView* oldFocus, bool reverse = false);
  virtual bool invalidateDirty();
  virtual CRect getVisibleRect(const CRect& rect) const;
  virtual bool childNeedsRedraw(CView* view, const CRect& rect) const;
  virtual bool hitTestChildren(const CPoint& where, std::int32_t buttons) const;

  std::int32_t notify(CBaseObject* sender, const char* message) override;
  void draw(CDrawContext* context) override;
  void drawRect(CDrawContext* context, const CRect& updateRect) override;
  bool isDirty() const override;
  void invalidRect(const CRect& rect) override;
  void invalid() override;
  CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons) override;
  CMouseEventResult mouseUp(CPoint& where, std::int32_t buttons) override;
  CMouseEventResult mouseMoved(CPoint& where, std::int32_t buttons) override;
  bool mouseWheelOnAxis(const CPoint& where, std::int32_t axis, float distance,
                        std::int32_t buttons) override;
  bool mouseWheel(const CPoint& where, float distance, std::int32_t buttons) override;
  bool dragDrop(CDragContainer* drag, const CPoint& where) override;
  void dragEnter(CDragContainer* drag, const CPoint& where) override;
  void dragLeave(CDragContainer* drag, const CPoint& where) override;
  void dragMove(CDragContainer* drag, const CPoint& where) override;
  std::int32_t keyDown(const CKeyCode& key) override;
  std::int32_t keyUp(const CKeyCode& key) override;
  void setBounds(const CRect& rect, bool invalidate = true) override;
  void parentResized() override;
  CPoint& toLocal(CPoint& point) const override;
  CPoint& toFrame(CPoint& point) const override;
  void loseFocus() override;
  void gainFocus() override;
  bool detachFrom(CView* parent) override;
  bool attachTo(CView* parent) override;
  bool isKindOf(const char* className) const override;
  CView* clone() const override;

  COffscreenContext* getOffscreenContext() const { return offscreen; }

 protected:
  CViewContainer(const CViewContainer& other);

  struct ChildNode {
    CView* view;
    ChildNode* next;
    ChildNode* previous;
  };

  // The views a removal must not leave behind as dangling pointers.
  void forgetChild(CView* view);
  CPoint toChildCoordinates(const CPoint& where) const {
    return CPoint(where.x - size.left, where.y - size.top);
  }

  ChildNode* firstChild = nullptr;
  ChildNode* lastChild = nullptr;
  COffscreenContext* offscreen = nullptr;
  CColor backgroundColor = kBlackCColor;
  CPoint backgroundOffset;
  bool drawOffscreen = false;
  CView* currentDragView = nullptr;
  CView* mouseDownView = nullptr;

 private:
  bool linkNode(CView* view, CView* before, bool append);
};

}  // namespace VSTGUI
