// The frame's child window on Windows: one window class per loaded module,
// the message procedure that turns messages into frame events, painting, and
// the walks through the host's windows for position and size.

#include <windows.h>
#include <ole2.h>

#include <cstdlib>
#include <cwchar>

#include "../../CButtonState.h"
#include "../../CDrawContext.h"
#include "../../CFrame.h"
#include "../../COffscreenContext.h"
#include "../PlatformWindow.h"
#include "CDropTarget.h"
#include "Win32System.h"

namespace VSTGUI::platform {

namespace {

// The class is shared by every frame of this module; the last frame gone
// unregisters it, so an unloaded and reloaded module registers afresh.
std::int32_t classUseCount = 0;
wchar_t className[32] = {};

CFrame* frameOf(HWND hwnd) { return reinterpret_cast<CFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

CPoint clientPoint(LPARAM lParam) { return CPoint(std::int16_t(LOWORD(lParam)), std::int16_t(HIWORD(lParam))); }

std::int32_t buttonsOf(WPARAM keys) {
  std::int32_t buttons = 0;
  if (keys & MK_LBUTTON) buttons |= kLButton;
  if (keys & MK_RBUTTON) buttons |= kRButton;
  if (keys & MK_MBUTTON) buttons |= kMButton;
  if (keys & MK_XBUTTON1) buttons |= kButton4;
  if (keys & MK_XBUTTON2) buttons |= kButton5;
  if (keys & MK_CONTROL) buttons |= kControl;
  if (keys & MK_SHIFT) buttons |= kShift;
  if (GetKeyState(VK_MENU) < 0) buttons |= kAlt;
  return buttons;
}

RECT windowRect(HWND hwnd) {
  RECT r{0, 0, 0, 0};
  GetWindowRect(hwnd, &r);
  return r;
}

void paint(HWND hwnd, CFrame& frame) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  if (GetUpdateRgn(hwnd, region, FALSE) == NULLREGION) {
    DeleteObject(region);
    return;
  }
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(hwnd, &ps);
  const CRect area(ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
  if (COffscreenContext* backBuffer = frame.getBackBuffer()) {
    frame.drawRect(backBuffer, area);
    auto* screen = new CDrawContext(&frame, dc, hwnd);
    backBuffer->copyTo(screen, area, CPoint(area.left, area.top));
    screen->release();
  } else {
    auto* screen = new CDrawContext(&frame, dc, hwnd);
    frame.drawRect(screen, area);
    screen->release();
  }
  EndPaint(hwnd, &ps);
  DeleteObject(region);
}

void windowGone(CFrame& frame);

LRESULT mouseButton(HWND hwnd, CFrame& frame, WPARAM wParam, LPARAM lParam, std::int32_t extra) {
  CPoint where = clientPoint(lParam);
  if (frame.mouseDown(where, buttonsOf(wParam) | extra) == kMouseEventHandled) SetCapture(hwnd);
  return 0;
}

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CFrame* frame = frameOf(hwnd);
  if (!frame) return DefWindowProcW(hwnd, message, wParam, lParam);
  // No exception may cross into the system's message dispatch.
  try {
    switch (message) {
      case WM_DESTROY:
        // A host may destroy its window, and ours with it, before it closes
        // the editor. The drop registration must go while the window still
        // exists, or it would keep the drop target alive for good.
        if (frame->isDropActive()) frame->setDropActive(false);
        frame->windowDestroyed();
        break;
      case WM_NCDESTROY:
        // Destroyed with the host's window: the handle must not be used again.
        windowGone(*frame);
        break;
      case WM_PAINT:
        paint(hwnd, *frame);
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_MOUSEMOVE: {
        CPoint where = clientPoint(lParam);
        frame->mouseMoved(where, buttonsOf(wParam));
        return 0;
      }
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN:
      case WM_XBUTTONDOWN:
        return mouseButton(hwnd, *frame, wParam, lParam, 0);
      case WM_LBUTTONDBLCLK:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDBLCLK:
      case WM_XBUTTONDBLCLK:
        return mouseButton(hwnd, *frame, wParam, lParam, kDoubleClick);
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP:
      case WM_XBUTTONUP: {
        CPoint where = clientPoint(lParam);
        frame->mouseUp(where, buttonsOf(wParam));
        ReleaseCapture();
        return 0;
      }
      case WM_MOUSEWHEEL: {
        std::int32_t buttons = 0;
        if (GetKeyState(VK_SHIFT) < 0) buttons |= kShift;
        if (GetKeyState(VK_CONTROL) < 0) buttons |= kControl;
        if (GetKeyState(VK_MENU) < 0) buttons |= kAlt;
        // The message carries screen coordinates.
        const CPoint corner = windowScreenPosition(hwnd);
        const CPoint where(std::int16_t(LOWORD(lParam)) - corner.x, std::int16_t(HIWORD(lParam)) - corner.y);
        const float distance = float(std::int16_t(HIWORD(wParam)) / WHEEL_DELTA);
        frame->mouseWheel(where, distance, buttons);
        break;
      }
      case WM_MOUSELEAVE: {
        CPoint where;
        frame->getMouseLocation(where);
        frame->mouseExited(where, frame->getMouseButtons());
        return 0;
      }
      default:
        break;
    }
  } catch (...) {
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void registerClass() {
  if (classUseCount++ > 0) return;
  // wsprintfW formats a pointer as upper-case hexadecimal with all its digits.
  wsprintfW(className, L"Plugin%p", static_cast<void*>(win32::thisModule()));
  WNDCLASSW windowClass{};
  windowClass.style = CS_DBLCLKS | CS_GLOBALCLASS;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = win32::thisModule();
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.lpszClassName = className;
  RegisterClassW(&windowClass);
  win32::setButtonsSwapped(GetSystemMetrics(SM_SWAPBUTTON) > 0);
}

void unregisterClass() {
  if (--classUseCount == 0) UnregisterClassW(className, win32::thisModule());
}

bool majorVersionAtLeast6() { return !wantsBackBuffer(); }

class Win32Window final : public PlatformWindow {
 public:
  Win32Window(CFrame& frame, HWND parent, CCoord width, CCoord height) {
    registerClass();
    hwnd = CreateWindowExW(majorVersionAtLeast6() ? WS_EX_COMPOSITED : 0, className, L"Window",
                           WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width, height, parent,
                           nullptr, win32::thisModule(), nullptr);
    if (hwnd) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&frame));
  }

  ~Win32Window() override {
    if (hwnd) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      DestroyWindow(hwnd);
    }
    unregisterClass();
  }

  WindowHandle handle() const override { return hwnd; }

  void invalidateRect(const CRect& rect) override {
    if (!hwnd) return;
    const RECT r{rect.left, rect.top, rect.right, rect.bottom};
    InvalidateRect(hwnd, &r, TRUE);
  }

  CPoint screenPosition() const override { return windowScreenPosition(hwnd); }

  void trackMouseLeave() override {
    if (!hwnd) return;
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof(track);
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = hwnd;
    track.dwHoverTime = 0;
    TrackMouseEvent(&track);
  }

  bool getPosition(CCoord& x, CCoord& y) const override {
    HWND outer = outerWindow();
    if (!outer) return false;
    const RECT r = windowRect(outer);
    POINT corner{r.left, r.top};
    MapWindowPoints(HWND_DESKTOP, GetParent(outer), &corner, 1);
    x = corner.x;
    y = corner.y;
    return true;
  }

  bool getSize(CRect& rect) const override {
    HWND host = hwnd ? GetParent(hwnd) : nullptr;
    if (!host) return false;
    HWND above = GetParent(host);
    if (above) above = GetParent(above);
    const RECT r = windowRect(host);
    POINT corner{r.left, r.top};
    MapWindowPoints(HWND_DESKTOP, above, &corner, 1);
    rect = CRect(corner.x, corner.y, corner.x + (r.right - r.left), corner.y + (r.bottom - r.top));
    return true;
  }

  bool resize(CCoord width, CCoord height) override {
    const int border = 2 * GetSystemMetrics(SM_CYFIXEDFRAME);
    int extraWidth = 0, extraHeight = 0;
    HWND w = hwnd;
    while (extraWidth != border && w) {
      HWND p = GetParent(w);
      if (!p) break;
      wchar_t name[32] = {};
      GetClassNameW(p, name, 32);
      if (std::wcscmp(name, L"MDIClient") == 0) break;
      const RECT own = windowRect(w);
      const RECT parentRect = windowRect(p);
      SetWindowPos(w, HWND_TOP, 0, 0, width + extraWidth, height + extraHeight, SWP_NOMOVE);
      extraWidth += (parentRect.right - parentRect.left) - (own.right - own.left);
      extraHeight += (parentRect.bottom - parentRect.top) - (own.bottom - own.top);
      // A host window much larger than the editor sizes itself.
      if (extraWidth > 80 || extraHeight > 80) return false;
      if (extraWidth < 0) extraWidth = 0;
      if (extraHeight < 0) extraHeight = 0;
      w = p;
    }
    if (w) SetWindowPos(w, HWND_TOP, 0, 0, width + extraWidth, height + extraHeight, SWP_NOMOVE);
    return true;
  }

  void* registerDropTarget(CFrame& frame) override {
    if (!hwnd) return nullptr;
    auto* target = new CDropTarget(&frame);
    target->AddRef();
    // The registration holds its own reference; ours goes at once, so a
    // refused registration destroys the target again.
    const HRESULT result = RegisterDragDrop(hwnd, target);
    target->Release();
    return SUCCEEDED(result) ? target : nullptr;
  }

  void revokeDropTarget(void* target) override {
    if (!target) return;
    static_cast<CDropTarget*>(target)->forgetFrame();
    if (hwnd) RevokeDragDrop(hwnd);
  }

 private:
  // The host's editor window: the walk stops at a window with a caption or
  // without parent, or where the parent is much larger than the child.
  HWND outerWindow() const {
    if (!hwnd) return nullptr;
    const RECT r0 = windowRect(hwnd);
    HWND w = hwnd;
    while (w) {
      if ((GetWindowLongW(w, GWL_STYLE) & WS_CAPTION) != 0) break;
      HWND p = GetParent(w);
      if (!p) break;
      const RECT pr = windowRect(p);
      if (std::abs((pr.right - pr.left) - (r0.right - r0.left)) > 60 ||
          std::abs((pr.bottom - pr.top) - (r0.bottom - r0.top)) > 60)
        break;
      w = p;
    }
    return w;
  }

  HWND hwnd = nullptr;
  friend void windowGone(CFrame& frame);
};

void windowGone(CFrame& frame) {
  if (auto* window = static_cast<Win32Window*>(frame.getPlatformWindow())) window->hwnd = nullptr;
}

}  // namespace

std::unique_ptr<PlatformWindow> createFrameWindow(CFrame& frame, WindowHandle parent, CCoord width,
                                                  CCoord height) {
  if (!parent) return nullptr;
  auto window = std::make_unique<Win32Window>(frame, static_cast<HWND>(parent), width, height);
  if (!window->handle()) return nullptr;
  return window;
}

DeviceHandle acquireWindowDevice(WindowHandle window) { return window ? GetDC(static_cast<HWND>(window)) : nullptr; }

void releaseWindowDevice(WindowHandle window, DeviceHandle device) {
  if (device) ReleaseDC(static_cast<HWND>(window), static_cast<HDC>(device));
}

CPoint windowScreenPosition(WindowHandle window) {
  if (!window) return CPoint(0, 0);
  const RECT r = windowRect(static_cast<HWND>(window));
  return CPoint(r.left, r.top);
}

// Windows delivers the frame's messages through the thread's own loop.
int frameEventDescriptor(WindowHandle) { return -1; }

WindowHandle frameWindowIn(WindowHandle parent) {
  for (HWND child = parent ? GetWindow(static_cast<HWND>(parent), GW_CHILD) : nullptr; child;
       child = GetWindow(child, GW_HWNDNEXT))
    if (wchar_t name[32] = {}; GetClassNameW(child, name, 32) && lstrcmpW(name, className) == 0) return child;
  return nullptr;
}

void dispatchPendingPaint() {
  MSG message;
  if (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&message);
}

}  // namespace VSTGUI::platform
