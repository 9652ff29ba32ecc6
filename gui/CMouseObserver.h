#pragma once

#include "CPoint.h"

namespace VSTGUI {

class CView;
class CFrame;

// Optional watcher of the frame's mouse routing; nothing in the plug-in
// installs one, but the frame keeps the hook.
class IMouseObserver {
 public:
  virtual ~IMouseObserver() = default;
  virtual void onMouseEntered(CView* view, CFrame* frame) = 0;
  virtual void onMouseExited(CView* view, CFrame* frame) = 0;
  virtual void onMouseMoved(CFrame* frame, const CPoint& where) = 0;
  virtual void onMouseDown(CFrame* frame, const CPoint& where) = 0;
};

}  // namespace VSTGUI
