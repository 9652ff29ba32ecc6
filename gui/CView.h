#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "CBaseObject.h"
#include "CButtonState.h"
#include "CKeyCode.h"
#include "CRect.h"

namespace VSTGUI {

class CBitmap;
class CDrawContext;
class CDragContainer;
class CFrame;
class CViewContainer;
class VSTGUIEditorInterface;

using CViewAttributeID = std::uint32_t;

// How a view follows its container's resizing; the last two are read on the
// container and lay all its children out as equal columns or rows.
enum CViewResizeFlags : std::uint32_t {
  kResizeKeepLeft = 1 << 0,
  kResizeKeepTop = 1 << 1,
  kResizeFollowRight = 1 << 2,
  kResizeFollowBottom = 1 << 3,
  kResizeColumns = 1 << 4,
  kResizeRows = 1 << 5,
};

// A rectangle of the editor that draws itself and may take mouse and key
// events. Bounds are in the coordinates of the container holding the view.
class CView : public CBaseObject {
 public:
  explicit CView(const CRect& size);
  ~CView() override;

  virtual void draw(CDrawContext* context);
  virtual void drawRect(CDrawContext* context, const CRect& updateRect);
  virtual bool checkUpdate(const CRect& updateRect) const;
  virtual bool isDirty() const;
  virtual void setDirty(bool state = true);
  virtual void invalidRect(const CRect& rect);
  virtual void invalid();
  virtual void setVisible(bool state);

  virtual CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons);
  virtual CMouseEventResult mouseUp(CPoint& where, std::int32_t buttons);
  virtual CMouseEventResult mouseMoved(CPoint& where, std::int32_t buttons);
  virtual CMouseEventResult mouseEntered(CPoint& where, std::int32_t buttons);
  virtual CMouseEventResult mouseExited(CPoint& where, std::int32_t buttons);
  virtual bool hitTest(const CPoint& where, std::int32_t buttons);
  // Axis 1 is vertical, 0 horizontal; a horizontal turn reaches mouseWheel
  // with its sign reversed.
  virtual bool mouseWheelOnAxis(const CPoint& where, std::int32_t axis, float distance,
                                std::int32_t buttons);
  virtual bool mouseWheel(const CPoint& where, float distance, std::int32_t buttons);

  virtual void setMouseEnabled(bool state);
  virtual bool getMouseEnabled() const;
  virtual void setMouseArea(const CRect& rect);
  virtual const CRect& getMouseArea() const;
  virtual CRect& getMouseArea(CRect& out) const;

  virtual bool dragDrop(CDragContainer* drag, const CPoint& where);
  virtual void dragEnter(CDragContainer* drag, const CPoint& where);
  virtual void dragLeave(CDragContainer* drag, const CPoint& where);
  virtual void dragMove(CDragContainer* drag, const CPoint& where);

  virtual std::int32_t keyDown(const CKeyCode& key);
  virtual std::int32_t keyUp(const CKeyCode& key);

  virtual void setBounds(const CRect& rect, bool invalidate = true);
  virtual const CRect& getBounds() const;
  virtual CRect& getBounds(CRect& out) const;
  virtual CRect getVisibleBounds() const;
  virtual void parentResized();
  // Frame coordinates to the coordinates the view's bounds are given in.
  virtual CPoint& toLocal(CPoint& point) const;
  virtual CPoint& toFrame(CPoint& point) const;
  virtual void setResizeFlags(std::uint32_t flags);
  virtual std::uint32_t getResizeFlags() const;

  virtual void loseFocus();
  virtual void gainFocus();
  virtual bool acceptsFocus() const;
  virtual void setAcceptsFocus(bool state);

  virtual void setBackground(CBitmap* bitmap);
  virtual CBitmap* getBackground() const;
  virtual void setTransparent(bool state);
  virtual bool isTransparent() const;

  virtual bool detachFrom(CView* parent);
  virtual bool attachTo(CView* parent);
  virtual VSTGUIEditorInterface* getEditor() const;
  virtual bool isKindOf(const char* className) const;
  virtual CView* clone() const;

  // Tagged byte blocks owned by the view. Setting replaces the bytes of the
  // block with that id or appends a new one.
  bool setAttribute(CViewAttributeID id, std::uint32_t size, const void* bytes);
  bool getAttributeSize(CViewAttributeID id, std::uint32_t& size) const;
  bool getAttribute(CViewAttributeID id, std::uint32_t size, void* bytes, std::uint32_t& outSize) const;

  bool isVisible() const { return visible; }
  bool isAttached() const { return attached; }
  CFrame* getFrame() const { return parentFrame; }
  CView* getParentView() const { return parentView; }

 protected:
  CView(const CView& other);

  CRect size;
  CRect mouseableArea;
  CFrame* parentFrame = nullptr;
  CView* parentView = nullptr;
  bool dirty = false;
  bool mouseEnabled = true;
  bool transparent = false;
  bool wantsFocus = false;
  bool attached = false;
  bool visible = true;
  std::uint32_t resizeFlags = 0;
  CBitmap* background = nullptr;

 private:
  struct Attribute {
    CViewAttributeID id;
    std::uint32_t size;
    std::uint32_t capacity;
    std::unique_ptr<std::uint8_t[]> bytes;
  };
  std::vector<Attribute> attributes;
};

}  // namespace VSTGUI
