#include "CViewContainer.h"

#include <cstring>

#include "CBitmap.h"
#include "CControl.h"
#include "CDrawContext.h"
#include "CFrame.h"
#include "COffscreenContext.h"

namespace VSTGUI {

namespace {
bool isContainer(const CView* view) { return view && view->isKindOf("CViewContainer"); }
}  // namespace

CViewContainer::CViewContainer(const CRect& size_) : CView(size_) { setDirty(true); }

CViewContainer::CViewContainer(const CViewContainer& other)
    : CView(other),
      backgroundColor(other.backgroundColor),
      backgroundOffset(other.backgroundOffset),
      drawOffscreen(other.drawOffscreen) {
  for (ChildNode* n = other.firstChild; n; n = n->next) addView(n->view->clone());
}

CViewContainer::~CViewContainer() {
  CViewContainer::removeAllViews(true);
  if (offscreen) offscreen->release();
}

CView* CViewContainer::clone() const { return new CViewContainer(*this); }

// ---------------------------------------------------------------- children

bool CViewContainer::linkNode(CView* view, CView* before, bool append) {
  if (!view || view->isAttached()) return false;
  auto* node = new ChildNode{view, nullptr, nullptr};
  view->retain();
  if (!lastChild) {
    firstChild = lastChild = node;
  } else if (append) {
    node->previous = lastChild;
    lastChild->next = node;
    lastChild = node;
  } else {
    ChildNode* stop = firstChild;
    while (stop->view != before && stop->next) stop = stop->next;
    node->next = stop;
    node->previous = stop->previous;
    if (stop->previous)
      stop->previous->next = node;
    else
      firstChild = node;
    stop->previous = node;
  }
  if (isAttached()) {
    view->attachTo(this);
    view->invalid();
  }
  return true;
}

bool CViewContainer::addView(CView* view) { return linkNode(view, nullptr, true); }

bool CViewContainer::addView(CView* view, CView* before) { return linkNode(view, before, false); }

bool CViewContainer::addView(CView* view, const CRect& mouseArea, bool enabled) {
  if (!addView(view)) return false;
  view->setMouseEnabled(enabled);
  view->setMouseArea(mouseArea);
  return true;
}

void CViewContainer::forgetChild(CView* view) {
  if (mouseDownView == view) mouseDownView = nullptr;
  if (currentDragView == view) currentDragView = nullptr;
}

bool CViewContainer::removeView(CView* view, bool withRelease) {
  ChildNode* node = firstChild;
  while (node && node->view != view) node = node->next;
  if (!node || !view) return false;
  view->invalid();
  if (parentFrame) parentFrame->viewRemoved(view);
  forgetChild(view);
  if (isAttached()) view->detachFrom(this);
  if (withRelease) view->release();
  if (node->previous)
    node->previous->next = node->next;
  else
    firstChild = node->next;
  if (node->next)
    node->next->previous = node->previous;
  else
    lastChild = node->previous;
  delete node;
  view->release();
  return true;
}

bool CViewContainer::removeAllViews(bool withRelease) {
  ChildNode* node = firstChild;
  firstChild = lastChild = nullptr;
  mouseDownView = currentDragView = nullptr;
  while (node) {
    CView* view = node->view;
    ChildNode* next = node->next;
    if (parentFrame) parentFrame->viewRemoved(view);
    if (isAttached()) view->detachFrom(this);
    if (withRelease) view->release();
    delete node;
    view->release();
    node = next;
  }
  return true;
}

bool CViewContainer::hasChild(CView* view) const {
  for (ChildNode* n = firstChild; n; n = n->next)
    if (n->view == view) return true;
  return false;
}

std::int32_t CViewContainer::viewCount() const {
  std::int32_t count = 0;
  for (ChildNode* n = firstChild; n; n = n->next) ++count;
  return count;
}

CView* CViewContainer::viewAt(std::int32_t index) const {
  if (index < 0) return nullptr;
  for (ChildNode* n = firstChild; n; n = n->next)
    if (index-- == 0) return n->view;
  return nullptr;
}

CView* CViewContainer::viewAtPoint(const CPoint& where, bool deep) const {
  if (!parentFrame || !visible) return nullptr;
  CPoint local = toChildCoordinates(where);
  for (ChildNode* n = lastChild; n; n = n->previous) {
    CView* v = n->view;
    if (!v->isVisible() || !v->getMouseArea().pointInside(local)) continue;
    if (deep && isContainer(v)) return static_cast<CViewContainer*>(v)->viewAtPoint(local, deep);
    return v;
  }
  return nullptr;
}

CViewContainer* CViewContainer::containerAtPoint(const CPoint& where, bool deep) {
  CPoint local = toChildCoordinates(where);
  for (ChildNode* n = lastChild; n; n = n->previous) {
    CView* v = n->view;
    if (!v->isVisible() || !v->getMouseArea().pointInside(local)) continue;
    if (deep && isContainer(v)) return static_cast<CViewContainer*>(v)->containerAtPoint(local, deep);
    break;
  }
  return this;
}

bool CViewContainer::hitTestChildren(const CPoint& where, std::int32_t buttons) const {
  const CPoint local = toChildCoordinates(where);
  for (ChildNode* n = lastChild; n; n = n->previous)
    if (n->view->getMouseEnabled() && n->view->hitTest(local, buttons)) return true;
  return false;
}

// ---------------------------------------------------------------- background

void CViewContainer::setBackgroundColor(const CColor& color) {
  backgroundColor = color;
  setDirty(true);
}

CColor CViewContainer::getBackgroundColor() const { return backgroundColor; }
void CViewContainer::setBackgroundOffset(const CPoint& offset) { backgroundOffset = offset; }
const CPoint& CViewContainer::getBackgroundOffset() const { return backgroundOffset; }

void CViewContainer::drawBackground(CDrawContext* context, const CRect& rect) {
  if (background) {
    CRect saved;
    context->getClipRect(saved);
    CRect clip = rect;
    clip.bound(saved);
    context->setClipRect(clip);
    CRect whole(0, 0, background->getWidth(), background->getHeight());
    if (transparent)
      background->drawTransparent(context, whole, backgroundOffset);
    else
      background->draw(context, whole, backgroundOffset);
    context->setClipRect(saved);
    return;
  }
  // A transparent container only paints a colour that is itself see-through.
  if (transparent && backgroundColor.alpha == 255) return;
  context->setFillColor(backgroundColor);
  context->setFrameColor(backgroundColor);
  context->drawRectangle(CRect(0, 0, size.width(), size.height()), kDrawFilledAndStroked);
}

void CViewContainer::setDrawOffscreen(bool state) {
  drawOffscreen = state;
  if (!state && offscreen) {
    offscreen->release();
    offscreen = nullptr;
  }
}

// ---------------------------------------------------------------- drawing

void CViewContainer::draw(CDrawContext* context) { drawRect(context, size); }

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
  if (!context) return;
  if (drawOffscreen && !offscreen)
    offscreen = new COffscreenContext(parentFrame, size.width(), size.height(), kBlackCColor);

  const bool useOffscreen = drawOffscreen && offscreen;
  CDrawContext* target = context;
  CPoint savedOffset = context->getOffset();
  CPoint savedScreenOffset = context->getScreenOffset();
  if (useOffscreen) {
    target = offscreen;
  } else {
    context->setOffset(CPoint(savedOffset.x + size.left, savedOffset.y + size.top));
    context->setScreenOffset(CPoint(savedScreenOffset.x + size.left, savedScreenOffset.y + size.top));
  }

  CRect clientUpdate = updateRect;
  clientUpdate.bound(size);
  clientUpdate.offset(-size.left, -size.top);

  CRect oldClip;
  context->getClipRect(oldClip);
  CRect newClip = oldClip;
  if (useOffscreen && static_cast<CView*>(parentFrame) != this) newClip.moveTo(0, 0);
  newClip.bound(clientUpdate);
  target->setClipRect(newClip);

  drawBackground(target, clientUpdate);

  for (ChildNode* n = firstChild; n; n = n->next) {
    CView* v = n->view;
    if (!childNeedsRedraw(v, clientUpdate)) continue;
    CRect childClip = v->getBounds();
    childClip.bound(newClip);
    if (childClip.left == childClip.right || childClip.top == childClip.bottom) continue;
    target->setClipRect(childClip);
    v->drawRect(target, clientUpdate);
  }

  target->setClipRect(oldClip);

  if (useOffscreen) {
    CRect destination = updateRect;
    destination.bound(size);
    offscreen->copyTo(context, destination, clientUpdate.topLeft());
  } else {
    context->setOffset(savedOffset);
    context->setScreenOffset(savedScreenOffset);
  }
  setDirty(false);
}

bool CViewContainer::childNeedsRedraw(CView* view, const CRect& rect) const {
  return view->checkUpdate(rect) && view->isVisible();
}

bool CViewContainer::isDirty() const {
  if (dirty) return true;
  const CRect inner(0, 0, size.width(), size.height());
  for (ChildNode* n = firstChild; n; n = n->next) {
    if (!n->view->isDirty()) continue;
    CRect r = n->view->getBounds();
    r.bound(inner);
    if (r.width() > 0 && r.height() > 0) return true;
  }
  return false;
}

// ---------------------------------------------------------------- invalidation

void CViewContainer::invalidRect(const CRect& rect) {
  if (!visible) return;
  CRect r = rect;
  r.offset(size.left, size.top);
  r.bound(size);
  if (r.width() <= 0 || r.height() <= 0) return;
  if (parentView)
    parentView->invalidRect(r);
  else if (parentFrame)
    parentFrame->invalidRect(r);
}

void CViewContainer::invalid() {
  if (!visible) return;
  if (parentView)
    parentView->invalidRect(size);
  else if (parentFrame)
    parentFrame->invalidRect(size);
}

bool CViewContainer::invalidateDirty() {
  if (!visible) return true;
  if (dirty) {
    if (parentView)
      parentView->invalidRect(size);
    else if (parentFrame)
      parentFrame->invalidRect(size);
    return true;
  }
  for (ChildNode* n = firstChild; n; n = n->next) {
    CView* v = n->view;
    if (!v->isDirty() || !v->isVisible()) continue;
    if (isContainer(v))
      static_cast<CViewContainer*>(v)->invalidateDirty();
    else
      v->invalid();
  }
  return true;
}

CRect CViewContainer::getVisibleRect(const CRect& rect) const {
  CRect result = rect;
  result.offset(size.left, size.top);
  result.bound(size);
  if (static_cast<const CView*>(parentFrame) != this) {
    if (isContainer(parentView))
      result = static_cast<CViewContainer*>(parentView)->getVisibleRect(result);
    else if (parentFrame)
      result = parentFrame->getVisibleRect(result);
  }
  result.offset(-size.left, -size.top);
  return result;
}

CPoint& CViewContainer::toLocal(CPoint& point) const {
  point.offset(-size.left, -size.top);
  if (isContainer(parentView)) return parentView->toLocal(point);
  return point;
}

CPoint& CViewContainer::toFrame(CPoint& point) const {
  point.offset(size.left, size.top);
  if (isContainer(parentView)) return parentView->toFrame(point);
  return point;
}

// ---------------------------------------------------------------- events

CMouseEventResult CViewContainer::mouseDown(CPoint& where, std::int32_t buttons) {
  CPoint local = toChildCoordinates(where);
  for (ChildNode* n = lastChild; n; n = n->previous) {
    CView* v = n->view;
    if (!v->isVisible() || !v->getMouseEnabled() || !v->hitTest(local, buttons)) continue;
    constexpr std::int32_t modifiers = kRButton | kShift | kControl | kAlt | kExtraModifier;
    if (v->isKindOf("CControl") && (buttons & modifiers)) {
      auto* control = static_cast<CControl*>(v);
      CControlListener* listener = control->getListener();
      if (listener && listener->modifierClicked(control, buttons) != 0) return kMouseEventHandled;
    }
    CMouseEventResult result = v->mouseDown(local, buttons);
    if (result == kMouseEventHandled) mouseDownView = v;
    return result;
  }
  return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::mouseUp(CPoint& where, std::int32_t buttons) {
  if (!mouseDownView) return kMouseEventNotHandled;
  CPoint local = toChildCoordinates(where);
  CView* v = mouseDownView;
  v->mouseUp(local, buttons);
  mouseDownView = nullptr;
  return kMouseEventHandled;
}

CMouseEventResult CViewContainer::mouseMoved(CPoint& where, std::int32_t buttons) {
  if (!mouseDownView) return kMouseEventNotHandled;
  CPoint local = toChildCoordinates(where);
  if (mouseDownView->mouseMoved(local, buttons) == kMouseEventHandled) return kMouseEventHandled;
  mouseDownView = nullptr;
  return kMouseEventNotHandled;
}

bool CViewContainer::mouseWheelOnAxis(const CPoint& where, std::int32_t axis, float distance,
                                      std::int32_t buttons) {
  CView* v = viewAtPoint(where, false);
  if (!v) return false;
  return v->mouseWheelOnAxis(toChildCoordinates(where), axis, distance, buttons);
}

bool CViewContainer::mouseWheel(const CPoint& where, float distance, std::int32_t buttons) {
  return mouseWheelOnAxis(where, 1, distance, buttons);
}

std::int32_t CViewContainer::keyDown(const CKeyCode& key) {
  for (ChildNode* n = lastChild; n; n = n->previous) {
    std::int32_t result = n->view->keyDown(key);
    if (result != kKeyNotHandled) return result;
  }
  return kKeyNotHandled;
}

std::int32_t CViewContainer::keyUp(const CKeyCode& key) {
  for (ChildNode* n = lastChild; n; n = n->previous) {
    std::int32_t result = n->view->keyUp(key);
    if (result != kKeyNotHandled) return result;
  }
  return kKeyNotHandled;
}

void CViewContainer::dragEnter(CDragContainer* drag, const CPoint& where) {
  if (!parentFrame) return;
  CPoint local = toChildCoordinates(where);
  if (currentDragView) currentDragView->dragLeave(drag, local);
  currentDragView = viewAtPoint(where, false);
  if (currentDragView) currentDragView->dragEnter(drag, local);
}

void CViewContainer::dragMove(CDragContainer* drag, const CPoint& where) {
  if (!parentFrame) return;
  CPoint local = toChildCoordinates(where);
  CView* v = viewAtPoint(where, false);
  if (v != currentDragView) {
    if (currentDragView) currentDragView->dragLeave(drag, local);
    currentDragView = v;
    if (v) v->dragEnter(drag, local);
  } else if (currentDragView) {
    currentDragView->dragMove(drag, local);
  }
}

void CViewContainer::dragLeave(CDragContainer* drag, const CPoint& where) {
  if (!parentFrame) return;
  if (currentDragView) currentDragView->dragLeave(drag, toChildCoordinates(where));
  currentDragView = nullptr;
}

bool CViewContainer::dragDrop(CDragContainer* drag, const CPoint& where) {
  if (!parentFrame) return false;
  CPoint local = toChildCoordinates(where);
  CView* v = viewAtPoint(where, false);
  if (v != currentDragView) {
    if (currentDragView) currentDragView->dragLeave(drag, local);
    currentDragView = v;
  }
  if (!currentDragView) return false;
  bool result = currentDragView->dragDrop(drag, local);
  currentDragView->dragLeave(drag, local);
  currentDragView = nullptr;
  return result;
}

bool CViewContainer::moveFocus(CView* oldFocus, bool reverse) {
  bool passed = oldFocus == nullptr;
  for (ChildNode* n = reverse ? lastChild : firstChild; n; n = reverse ? n->previous : n->next) {
    CView* v = n->view;
    if (!passed) {
      if (v == oldFocus) passed = true;
      continue;
    }
    if (v->acceptsFocus()) {
      if (parentFrame) parentFrame->setFocusView(v);
      v->gainFocus();
      return true;
    }
    if (isContainer(v) && static_cast<CViewContainer*>(v)->moveFocus(nullptr, reverse)) return true;
  }
  return false;
}

void CViewContainer::loseFocus() {
  for (ChildNode* n = firstChild; n; n = n->next) n->view->loseFocus();
}

void CViewContainer::gainFocus() {
  for (ChildNode* n = firstChild; n; n = n->next) n->view->gainFocus();
}

// ---------------------------------------------------------------- geometry

void CViewContainer::setBounds(const CRect& rect, bool invalidate) {
  if (rect == size) return;
  const CRect old = size;
  size = rect;
  if (invalidate) setDirty(true);
  const CCoord widthDelta = rect.width() - old.width();
  const CCoord heightDelta = rect.height() - old.height();
  if (widthDelta != 0 || heightDelta != 0) {
    const std::int32_t count = viewCount();
    std::int32_t i = 0;
    for (ChildNode* n = firstChild; n; n = n->next, ++i) {
      CView* v = n->view;
      const std::uint32_t flags = v->getResizeFlags();
      CRect bounds = v->getBounds();
      CRect area = v->getMouseArea();
      if (resizeFlags & kResizeColumns) {
        const CCoord step = widthDelta / count;
        bounds.offset(i * step, 0);
        area.offset(i * step, 0);
        bounds.right += step;
        area.right += step;
      } else if (widthDelta != 0 && (flags & kResizeFollowRight)) {
        bounds.right += widthDelta;
        area.right += widthDelta;
        if (!(flags & kResizeKeepLeft)) {
          bounds.left += widthDelta;
          area.left += widthDelta;
        }
      }
      if (resizeFlags & kResizeRows) {
        const CCoord step = heightDelta / count;
        bounds.offset(0, i * step);
        area.offset(0, i * step);
        bounds.bottom += step;
        area.bottom += step;
      } else if (heightDelta != 0 && (flags & kResizeFollowBottom)) {
        bounds.bottom += heightDelta;
        area.bottom += heightDelta;
        if (!(flags & kResizeKeepTop)) {
          bounds.top += heightDelta;
          area.top += heightDelta;
        }
      }
      if (bounds != v->getBounds()) {
        v->setBounds(bounds, true);
        v->setMouseArea(area);
      }
    }
  }
  parentResized();
  if (offscreen && drawOffscreen) {
    offscreen->release();
    offscreen = new COffscreenContext(parentFrame, size.width(), size.height(), kBlackCColor);
  }
}

void CViewContainer::parentResized() {
  for (ChildNode* n = firstChild; n; n = n->next) n->view->parentResized();
}

// ---------------------------------------------------------------- attachment

bool CViewContainer::attachTo(CView* parent) {
  if (drawOffscreen && !offscreen)
    offscreen = new COffscreenContext(parent ? parent->getFrame() : nullptr, size.width(),
                                      size.height(), kBlackCColor);
  parentFrame = parent ? parent->getFrame() : nullptr;
  for (ChildNode* n = firstChild; n; n = n->next) n->view->attachTo(this);
  return CView::attachTo(parent);
}

bool CViewContainer::detachFrom(CView* parent) {
  if (offscreen) {
    offscreen->release();
    offscreen = nullptr;
  }
  parentFrame = nullptr;
  for (ChildNode* n = firstChild; n; n = n->next) n->view->detachFrom(this);
  return CView::detachFrom(parent);
}

std::int32_t CViewContainer::notify(CBaseObject* sender, const char* message) {
  if (message == kMsgCheckIfViewContainer) return 1;
  return CView::notify(sender, message);
}

bool CViewContainer::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CViewContainer") == 0 || CView::isKindOf(className));
}

}  // namespace VSTGUI
