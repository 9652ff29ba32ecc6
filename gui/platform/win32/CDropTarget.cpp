#include "CDropTarget.h"

#include "../../CFrame.h"
#include "WinDragContainer.h"

namespace VSTGUI {

namespace {

// One drag at a time reaches a process.
WinDragContainer* dragInProgress = nullptr;

void chooseEffect(DWORD* effect) {
  if (!effect) return;
  if (*effect & DROPEFFECT_COPY)
    *effect = DROPEFFECT_COPY;
  else if (*effect & DROPEFFECT_MOVE)
    *effect = DROPEFFECT_MOVE;
  else if (*effect & DROPEFFECT_LINK)
    *effect = DROPEFFECT_LINK;
}

void endDrag() {
  if (dragInProgress) dragInProgress->release();
  dragInProgress = nullptr;
}

// Hands the drag in progress to one of the frame's drag operations.
template <typename Operation>
void toFrame(CFrame* frame, Operation operation) {
  if (!dragInProgress || !frame) return;
  CPoint where;
  frame->getMouseLocation(where);
  (frame->*operation)(dragInProgress, where);
}

}  // namespace

CDropTarget::CDropTarget(CFrame* frame_) : frame(frame_) {}

CDropTarget::~CDropTarget() = default;

void CDropTarget::forgetFrame() {
  frame = nullptr;
  endDrag();
}

HRESULT STDMETHODCALLTYPE CDropTarget::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
    AddRef();
    *object = static_cast<IDropTarget*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CDropTarget::AddRef() { return ULONG(++refCount); }

ULONG STDMETHODCALLTYPE CDropTarget::Release() {
  const LONG left = --refCount;
  if (left == 0) delete this;
  return ULONG(left);
}

// Every callback answers success: the system gets no error from us, and a
// missing piece (no frame, no data, no drag) just skips the work. The drag
// position is always the cursor's, in frame coordinates.
HRESULT STDMETHODCALLTYPE CDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
  try {
    if (!data || !frame) {
      if (effect) *effect = DROPEFFECT_NONE;
      return S_OK;
    }
    endDrag();  // a drag the system never finished
    dragInProgress = new WinDragContainer(data);
    toFrame(frame, &CFrame::dragEnter);
    chooseEffect(effect);
  } catch (...) {
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  try {
    if (!dragInProgress || !frame) return S_OK;
    toFrame(frame, &CFrame::dragMove);
    chooseEffect(effect);
  } catch (...) {
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CDropTarget::DragLeave() {
  try {
    toFrame(frame, &CFrame::dragLeave);
  } catch (...) {
  }
  endDrag();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CDropTarget::Drop(IDataObject*, DWORD, POINTL, DWORD*) {
  try {
    toFrame(frame, &CFrame::dragDrop);
  } catch (...) {
  }
  endDrag();
  return S_OK;
}

}  // namespace VSTGUI
