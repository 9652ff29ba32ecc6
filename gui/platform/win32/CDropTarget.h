#pragma once

#include <windows.h>
#include <ole2.h>

namespace VSTGUI {

class CFrame;

// The frame window's drop target: turns the system's drag callbacks into the
// frame's drag operations, with the dragged data wrapped as a drag container.
// Lives as long as the system's registration holds a reference to it.
class CDropTarget final : public IDropTarget {
 public:
  explicit CDropTarget(CFrame* frame);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;

  // At revocation: the system may still call a target it holds for a drag
  // under way, after the frame is gone.
  void forgetFrame();

 private:
  virtual ~CDropTarget();
  LONG refCount = 0;
  CFrame* frame;
};

}  // namespace VSTGUI
