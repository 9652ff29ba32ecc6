// The window and input services of a build without a display: no window is
// ever made, the pointer rests at the origin with no button held, and cursors
// do not exist. The frame works fully otherwise; tests draw it offscreen.

#include "../Platform.h"
#include "../PlatformWindow.h"

namespace VSTGUI::platform {

std::unique_ptr<PlatformWindow> createFrameWindow(CFrame&, WindowHandle, CCoord, CCoord) { return nullptr; }

DeviceHandle acquireWindowDevice(WindowHandle) { return nullptr; }
void releaseWindowDevice(WindowHandle, DeviceHandle) {}
CPoint windowScreenPosition(WindowHandle) { return CPoint(0, 0); }
int frameEventDescriptor(WindowHandle) { return -1; }
WindowHandle frameWindowIn(WindowHandle) { return nullptr; }
void dispatchPendingPaint() {}

void cursorScreenPosition(CPoint& where) { where = CPoint(0, 0); }
std::int32_t asyncMouseButtons() { return 0; }
CursorHandle currentCursor() { return nullptr; }
CursorHandle systemCursor(std::int32_t) { return nullptr; }
void setCursor(CursorHandle) {}

}  // namespace VSTGUI::platform
