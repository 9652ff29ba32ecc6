#include "CFrame.h"

#include <cstring>

#include "CDrawContext.h"
#include "CMouseObserver.h"
#include "COffscreenContext.h"
#include "GDIPlusGlobals.h"
#include "VSTGUIEditorInterface.h"
#include "platform/PlatformWindow.h"

namespace VSTGUI {

namespace {
// Keeps a focus change made from inside a focus notification from starting
// another one.
bool focusChangeInProgress = false;

bool isContainer(const CView* view) { return view && view->isKindOf("CViewContainer"); }

// True when view is inside the subtree of root (root itself included).
bool isInside(const CView* view, const CView* root) {
  for (; view; view = view->getParentView())
    if (view == root) return true;
  return false;
}
}  // namespace

CFrame::CFrame(const CRect& size_, platform::WindowHandle parentWindow_, VSTGUIEditorInterface* editor_)
    : CViewContainer(size_), editor(editor_), parentWindow(parentWindow_) {
  parentFrame = this;
  attached = true;
  platform::oleInitialize();
  GDIPlusGlobals::acquire();
  if (parentWindow) {
    window = platform::createFrameWindow(*this, parentWindow, size.width(), size.height());
    if (window) setDropActive(true);
  }
}

CFrame::~CFrame() {
  if (modalView) CViewContainer::removeView(modalView, false);
  modalView = nullptr;

  if (!defaultCursorKnown) defaultCursor = platform::currentCursor();
  platform::setCursor(defaultCursor);

  if (dropActive && window) {
    window->revokeDropTarget(dropTarget);
    dropTarget = nullptr;
    dropActive = false;
  }

  parentFrame = nullptr;
  removeAllViews(true);
  platform::oleUninitialize();
  if (backBuffer) {
    backBuffer->release();
    backBuffer = nullptr;
  }
  window.reset();
  GDIPlusGlobals::releaseShared();
}

CView* CFrame::clone() const { return nullptr; }

bool CFrame::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CFrame") == 0 || CViewContainer::isKindOf(className));
}

VSTGUIEditorInterface* CFrame::getEditor() const { return editor; }

// ---------------------------------------------------------------- editor

bool CFrame::idle() {
  if (!open) return false;
  const bool invalidated = invalidateDirty();
  // Where the platform has no message loop of its own, the host's idle
  // requests are the loop: input, timers and paints are handled here.
  if (window) window->processEvents();
  return invalidated;
}

void CFrame::editorIdle() {
  if (editor) editor->idleProcessing();
}

std::uint32_t CFrame::ticks() const { return platform::tickCount(); }

std::int32_t CFrame::knobMode() const { return editor ? editor->getKnobMode() : 0; }

void CFrame::beginEdit(std::int32_t index) {
  if (editor) editor->beginEdit(index);
}

void CFrame::endEdit(std::int32_t index) {
  if (editor) editor->endEdit(index);
}

// ---------------------------------------------------------------- window

void CFrame::windowDestroyed() {
  setOpen(false);
  parentWindow = nullptr;
}

bool CFrame::setPosition(CCoord, CCoord) { return false; }

bool CFrame::getPosition(CCoord& x, CCoord& y) const {
  if (!open || !window) return false;
  return window->getPosition(x, y);
}

bool CFrame::getSize(CRect* rect) const { return rect && getSize(*rect); }

bool CFrame::getSize(CRect& rect) const {
  if (!open || !window) return false;
  return window->getSize(rect);
}

bool CFrame::setSize(CCoord width, CCoord height) {
  if (!open) return false;
  if (width == size.width() && height == size.height()) return false;
  const CRect newSize(size.left, size.top, size.left + width, size.top + height);
  if (backBuffer) {
    backBuffer->release();
    backBuffer = nullptr;
  }
  // A host window that sizes itself keeps the frame at its old size.
  if (window && !window->resize(width, height)) return true;
  setBounds(newSize, true);
  return true;
}

bool CFrame::getMouseLocation(CPoint& where) const {
  platform::cursorScreenPosition(where);
  if (window) {
    const CPoint corner = window->screenPosition();
    where.offset(-corner.x, -corner.y);
  }
  return true;
}

std::int32_t CFrame::getMouseButtons() const { return platform::asyncMouseButtons(); }

void CFrame::setCursor(std::int32_t type) {
  if (!defaultCursorKnown) {
    defaultCursor = platform::currentCursor();
    defaultCursorKnown = true;
  }
  platform::CursorHandle cursor = nullptr;
  switch (type) {
    case kCursorWait:
    case kCursorHSize:
    case kCursorVSize:
    case kCursorSizeAll:
    case kCursorNESWSize:
    case kCursorNWSESize:
    case kCursorNotAllowed:
    case kCursorHand:
      cursor = platform::systemCursor(type);
      break;
    default:
      break;
  }
  platform::setCursor(cursor ? cursor : defaultCursor);
}

bool CFrame::setDropActive(bool state) {
  if (!dropActive && !state) return true;
  if (!window) return false;
  if (dropTarget) {
    window->revokeDropTarget(dropTarget);
    dropTarget = nullptr;
  }
  if (state) dropTarget = window->registerDropTarget(*this);
  dropActive = state;
  return true;
}

bool CFrame::isDropActive() const { return dropActive; }
void CFrame::setOpen(bool state) { open = state; }
bool CFrame::isOpen() const { return open; }

CDrawContext* CFrame::createDrawContext() {
  return new CDrawContext(this, nullptr, window ? window->handle() : nullptr);
}

COffscreenContext* CFrame::getBackBuffer() {
  if (!platform::wantsBackBuffer()) return nullptr;
  if (!backBuffer) backBuffer = new COffscreenContext(this, size.width(), size.height(), kBlackCColor);
  return backBuffer;
}

IMouseObserver* CFrame::getMouseObserver() const { return mouseObserver; }
void CFrame::setMouseObserver(IMouseObserver* observer) { mouseObserver = observer; }

// ---------------------------------------------------------------- drawing

void CFrame::draw(CDrawContext* context) { drawRect(context, size); }

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect) {
  if (context)
    context->retain();
  else
    context = createDrawContext();
  CRect saved;
  context->getClipRect(saved);
  CRect clip = updateRect;
  clip.bound(saved);
  context->setClipRect(clip);
  if (updateRect.width() > 0 && updateRect.height() > 0) CViewContainer::drawRect(context, updateRect);
  context->setClipRect(saved);
  context->release();
}

void CFrame::invalidRect(const CRect& rect) {
  if (!visible) return;
  if (window) window->invalidateRect(rect);
}

void CFrame::invalid() {
  invalidRect(size);
  setDirty(false);
}

void CFrame::markDirtyIn(const CRect& rect) {
  for (ChildNode* n = firstChild; n; n = n->next)
    if (rect.rectOverlap(n->view->getBounds())) n->view->setDirty(true);
}

// ---------------------------------------------------------------- mouse

CMouseEventResult CFrame::mouseDown(CPoint& where, std::int32_t buttons) {
  mouseDownView = nullptr;
  if (focusView) setFocusView(nullptr);
  if (mouseOverView) {
    CView* exited = mouseOverView;
    exited->mouseExited(where, buttons);
    if (mouseObserver) mouseObserver->onMouseExited(exited, this);
    mouseOverView = nullptr;
  }
  if (mouseObserver) mouseObserver->onMouseDown(this, where);

  if (modalView) {
    if (!modalView->hitTest(where, buttons)) return kMouseEventNotHandled;
    if (modalView->mouseDown(where, buttons) == kMouseEventHandled) {
      mouseDownView = modalView;
      return kMouseEventHandled;
    }
    return kMouseEventNotHandled;
  }
  return CViewContainer::mouseDown(where, buttons);
}

CMouseEventResult CFrame::mouseMoved(CPoint& where, std::int32_t buttons) {
  if (!mouseTracking) {
    if (window) window->trackMouseLeave();
    mouseTracking = true;
  }
  if (mouseObserver) mouseObserver->onMouseMoved(this, where);
  if (modalView) return modalView->mouseMoved(where, buttons);

  if (mouseDownView) {
    CPoint local = toChildCoordinates(where);
    if (mouseDownView->mouseMoved(local, buttons) == kMouseEventHandled) return kMouseEventHandled;
    mouseDownView = nullptr;
  }

  CView* v = viewAtPoint(where, true);
  if (v == mouseOverView) {
    if (!v) return kMouseEventNotHandled;
    CPoint local = where;
    v->toLocal(local);
    return v->mouseMoved(local, 0);
  }
  leaveMouseOverView(where, buttons);
  if (!v) return kMouseEventHandled;
  CPoint local = where;
  v->toLocal(local);
  v->mouseEntered(local, buttons);
  mouseOverView = v;
  if (mouseObserver) mouseObserver->onMouseEntered(v, this);
  return kMouseEventHandled;
}

void CFrame::leaveMouseOverView(const CPoint& where, std::int32_t buttons) {
  if (mouseOverView) {
    CView* exited = mouseOverView;
    CPoint local = where;
    exited->toLocal(local);
    exited->mouseExited(local, buttons);
    if (mouseObserver) mouseObserver->onMouseExited(exited, this);
  }
  mouseOverView = nullptr;
}

CMouseEventResult CFrame::mouseExited(CPoint& where, std::int32_t buttons) {
  leaveMouseOverView(where, buttons);
  mouseTracking = false;
  return kMouseEventHandled;
}

bool CFrame::mouseWheelOnAxis(const CPoint& where, std::int32_t axis, float distance,
                              std::int32_t buttons) {
  if (mouseDownView) return false;
  CView* target = modalView ? modalView : viewAtPoint(where, false);
  if (!target) return false;
  return target->mouseWheelOnAxis(where, axis, distance, buttons);
}

// ---------------------------------------------------------------- keys and focus

std::int32_t CFrame::keyDown(const CKeyCode& key) {
  std::int32_t result = kKeyNotHandled;
  if (focusView) result = focusView->keyDown(key);
  if (result == kKeyNotHandled && modalView) result = modalView->keyDown(key);
  if (result != kKeyNotHandled) return result;
  if (key.virt == kVirtualKeyTab && moveFocus(focusView, (key.modifier & kModifierShift) != 0)) return 1;
  return kKeyNotHandled;
}

std::int32_t CFrame::keyUp(const CKeyCode& key) {
  std::int32_t result = kKeyNotHandled;
  if (focusView) result = focusView->keyUp(key);
  if (result == kKeyNotHandled && modalView) result = modalView->keyUp(key);
  return result;
}

void CFrame::notifyAncestors(CView* view, const char* message) {
  for (CView* p = view->getParentView(); p && p != this; p = p->getParentView()) p->notify(view, message);
}

void CFrame::setFocusView(CView* view) {
  if (view == focusView || focusChangeInProgress) return;
  focusChangeInProgress = true;
  CView* old = focusView;
  focusView = view;
  if (view && view->acceptsFocus()) {
    view->setDirty(true);
    notifyAncestors(view, kMsgNewFocusView);
  }
  if (old) {
    if (old->acceptsFocus()) {
      old->setDirty(true);
      notifyAncestors(old, kMsgOldFocusView);
    }
    old->loseFocus();
  }
  focusChangeInProgress = false;
}

CView* CFrame::getFocusView() const { return focusView; }

bool CFrame::moveFocus(CView* oldFocus, bool reverse) {
  if (modalView) {
    if (isContainer(modalView)) return static_cast<CViewContainer*>(modalView)->moveFocus(oldFocus, reverse);
    if (oldFocus == modalView) return false;
    setFocusView(modalView);
    return true;
  }
  if (!oldFocus) {
    oldFocus = focusView;
    if (!oldFocus) return CViewContainer::moveFocus(nullptr, reverse);
  }
  if (hasChild(oldFocus)) {
    if (CViewContainer::moveFocus(oldFocus, reverse)) return true;
    setFocusView(nullptr);
    return false;
  }
  // Climb out of nested containers; the frame itself is the last ancestor
  // asked, with the outermost container as the view to move on from.
  CView* from = oldFocus;
  for (CView* p = oldFocus->getParentView(); isContainer(p); p = p->getParentView()) {
    if (static_cast<CViewContainer*>(p)->moveFocus(from, reverse)) return true;
    from = p;
  }
  return CViewContainer::moveFocus(oldFocus, reverse);
}

// ---------------------------------------------------------------- the tree

void CFrame::viewRemoved(CView* view) {
  // A removed container takes its whole subtree with it.
  if (mouseOverView && isInside(mouseOverView, view)) mouseOverView = nullptr;
  if (focusView && isInside(focusView, view)) focusView = nullptr;
}

bool CFrame::setModalView(CView* view) {
  if (view && (modalView || view->isAttached())) return false;
  if (modalView) removeView(modalView, false);
  modalView = view;
  return view ? addView(view) : true;
}

CView* CFrame::getModalView() const { return modalView; }

bool CFrame::removeView(CView* view, bool withRelease) {
  if (view && view == modalView) modalView = nullptr;
  return CViewContainer::removeView(view, withRelease);
}

bool CFrame::removeAllViews(bool withRelease) {
  modalView = nullptr;
  focusView = nullptr;
  mouseOverView = nullptr;
  return CViewContainer::removeAllViews(withRelease);
}

}  // namespace VSTGUI
