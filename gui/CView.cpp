#include "CView.h"

#include <cstring>

#include "CBitmap.h"
#include "CFrame.h"
#include "CViewContainer.h"

namespace VSTGUI {

CView::CView(const CRect& size_) : size(size_), mouseableArea(size_) {}

CView::CView(const CView& other)
    : CBaseObject(other),
      size(other.size),
      mouseableArea(other.mouseableArea),
      mouseEnabled(other.mouseEnabled),
      transparent(other.transparent),
      wantsFocus(other.wantsFocus),
      resizeFlags(other.resizeFlags),
      background(other.background) {
  if (background) background->retain();
  for (const Attribute& a : other.attributes) setAttribute(a.id, a.size, a.bytes.get());
}

CView::~CView() {
  if (background) background->release();
}

void CView::draw(CDrawContext* context) {
  if (background) {
    if (transparent)
      background->drawTransparent(context, size, CPoint(0, 0));
    else
      background->draw(context, size, CPoint(0, 0));
  }
  setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect&) { draw(context); }

bool CView::checkUpdate(const CRect& updateRect) const { return updateRect.rectOverlap(size); }

bool CView::isDirty() const { return dirty; }

void CView::setDirty(bool state) { dirty = state; }

void CView::invalidRect(const CRect& rect) {
  if (!attached || !visible) return;
  if (parentView)
    parentView->invalidRect(rect);
  else if (parentFrame)
    parentFrame->invalidRect(rect);
}

void CView::invalid() {
  setDirty(false);
  invalidRect(size);
}

void CView::setVisible(bool state) {
  if (visible == state) return;
  visible = state;
  setDirty(true);
}

CMouseEventResult CView::mouseDown(CPoint&, std::int32_t) { return kMouseEventNotImplemented; }
CMouseEventResult CView::mouseUp(CPoint&, std::int32_t) { return kMouseEventNotImplemented; }
CMouseEventResult CView::mouseMoved(CPoint&, std::int32_t) { return kMouseEventNotImplemented; }
CMouseEventResult CView::mouseEntered(CPoint&, std::int32_t) { return kMouseEventNotImplemented; }
CMouseEventResult CView::mouseExited(CPoint&, std::int32_t) { return kMouseEventNotImplemented; }

bool CView::hitTest(const CPoint& where, std::int32_t) { return mouseableArea.pointInside(where); }

bool CView::mouseWheelOnAxis(const CPoint& where, std::int32_t axis, float distance,
                             std::int32_t buttons) {
  if (axis == 0) return mouseWheel(where, -distance, buttons);
  return mouseWheel(where, distance, buttons);
}

bool CView::mouseWheel(const CPoint&, float, std::int32_t) { return false; }

void CView::setMouseEnabled(bool state) { mouseEnabled = state; }
bool CView::getMouseEnabled() const { return mouseEnabled; }
void CView::setMouseArea(const CRect& rect) { mouseableArea = rect; }
const CRect& CView::getMouseArea() const { return mouseableArea; }
CRect& CView::getMouseArea(CRect& out) const { return out = mouseableArea; }

bool CView::dragDrop(CDragContainer*, const CPoint&) { return false; }
void CView::dragEnter(CDragContainer*, const CPoint&) {}
void CView::dragLeave(CDragContainer*, const CPoint&) {}
void CView::dragMove(CDragContainer*, const CPoint&) {}

std::int32_t CView::keyDown(const CKeyCode&) { return kKeyNotHandled; }
std::int32_t CView::keyUp(const CKeyCode&) { return kKeyNotHandled; }

void CView::setBounds(const CRect& rect, bool invalidate) {
  size = rect;
  if (invalidate) setDirty(true);
}

const CRect& CView::getBounds() const { return size; }
CRect& CView::getBounds(CRect& out) const { return out = size; }

CRect CView::getVisibleBounds() const {
  if (parentView && parentView->isKindOf("CViewContainer"))
    return static_cast<CViewContainer*>(parentView)->getVisibleRect(size);
  if (parentFrame) return parentFrame->getVisibleRect(size);
  return CRect(0, 0, 0, 0);
}

void CView::parentResized() {}

CPoint& CView::toLocal(CPoint& point) const {
  if (parentView && parentView->isKindOf("CViewContainer")) return parentView->toLocal(point);
  return point;
}

CPoint& CView::toFrame(CPoint& point) const {
  if (parentView && parentView->isKindOf("CViewContainer")) return parentView->toFrame(point);
  return point;
}

void CView::setResizeFlags(std::uint32_t flags) { resizeFlags = flags; }
std::uint32_t CView::getResizeFlags() const { return resizeFlags; }

void CView::loseFocus() {}
void CView::gainFocus() {}
bool CView::acceptsFocus() const { return wantsFocus; }
void CView::setAcceptsFocus(bool state) { wantsFocus = state; }

void CView::setBackground(CBitmap* bitmap) {
  // Retain first: setting the bitmap the view already holds must not free it.
  if (bitmap) bitmap->retain();
  if (background) background->release();
  background = bitmap;
  setDirty(true);
}

CBitmap* CView::getBackground() const { return background; }
void CView::setTransparent(bool state) { transparent = state; }
bool CView::isTransparent() const { return transparent; }

bool CView::detachFrom(CView*) {
  if (!attached) return false;
  parentView = nullptr;
  parentFrame = nullptr;
  attached = false;
  return true;
}

bool CView::attachTo(CView* parent) {
  if (attached) return false;
  parentView = parent;
  parentFrame = parent ? parent->getFrame() : nullptr;
  attached = true;
  return true;
}

VSTGUIEditorInterface* CView::getEditor() const {
  return parentFrame ? parentFrame->getEditor() : nullptr;
}

bool CView::isKindOf(const char* className) const {
  return className && std::strcmp(className, "CView") == 0;
}

CView* CView::clone() const { return new CView(*this); }

bool CView::setAttribute(CViewAttributeID id, std::uint32_t byteCount, const void* bytes) {
  if (byteCount > 0 && !bytes) return false;
  for (Attribute& a : attributes) {
    if (a.id != id) continue;
    if (byteCount > a.capacity) {
      a.bytes = std::make_unique<std::uint8_t[]>(byteCount);
      a.capacity = byteCount;
    }
    if (byteCount) std::memcpy(a.bytes.get(), bytes, byteCount);
    a.size = byteCount;
    return true;
  }
  Attribute a{id, byteCount, byteCount, std::make_unique<std::uint8_t[]>(byteCount ? byteCount : 1)};
  if (byteCount) std::memcpy(a.bytes.get(), bytes, byteCount);
  attributes.push_back(std::move(a));
  return true;
}

bool CView::getAttributeSize(CViewAttributeID id, std::uint32_t& outSize) const {
  for (const Attribute& a : attributes) {
    if (a.id == id) {
      outSize = a.size;
      return true;
    }
  }
  return false;
}

bool CView::getAttribute(CViewAttributeID id, std::uint32_t bufferSize, void* bytes,
                         std::uint32_t& outSize) const {
  for (const Attribute& a : attributes) {
    if (a.id != id) continue;
    if (bufferSize < a.size || (a.size && !bytes)) return false;
    if (a.size) std::memcpy(bytes, a.bytes.get(), a.size);
    outSize = a.size;
    return true;
  }
  return false;
}

}  // namespace VSTGUI
