// Time, timers, resources, input state and OLE set-up of the Windows build.

#include "Win32System.h"

#include <ole2.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "../../CButtonState.h"
#include "../Platform.h"

namespace VSTGUI::platform {

namespace win32 {

HMODULE thisModule() {
  static HMODULE module = [] {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &m);
    return m;
  }();
  return module;
}

namespace {
bool buttonsSwapped = false;
}

void setButtonsSwapped(bool swapped) { buttonsSwapped = swapped; }

std::wstring widen(const char* utf8) {
  if (!utf8 || !*utf8) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring wide(std::size_t(n), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide.data(), n) != n) return std::wstring();
  wide.resize(std::size_t(n - 1));
  return wide;
}

std::string narrow(const wchar_t* utf16) {
  if (!utf16 || !*utf16) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string text(std::size_t(n), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, utf16, -1, text.data(), n, nullptr, nullptr) != n) return std::string();
  text.resize(std::size_t(n - 1));
  return text;
}

}  // namespace win32

namespace {

class SystemClock final : public Clock {
 public:
  std::uint32_t ticks() override { return GetTickCount(); }
  void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }
};


// The framework has one timer callback; the platform's identifiers are handed
// to it unchanged and it finds its own timer by them.
struct RunningTimer {
  UINT_PTR id;
  TimerCallback callback;
};
std::vector<RunningTimer> runningTimers;

void CALLBACK timerFired(HWND, UINT, UINT_PTR id, DWORD) {
  for (const RunningTimer& t : runningTimers) {
    if (t.id == id) {
      TimerCallback callback = t.callback;
      callback(std::uint32_t(id));
      return;
    }
  }
}

bool resourceData(LPCSTR name, ResourceData& out) {
  HMODULE module = win32::thisModule();
  HRSRC resource = FindResourceA(module, name, "DATA");
  if (!resource) return false;
  const DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = LoadResource(module, resource);
  if (!loaded) return false;
  const void* bytes = LockResource(loaded);
  if (!bytes) return false;
  out.bytes = static_cast<const std::uint8_t*>(bytes);
  out.size = size;
  return true;
}

}  // namespace

bool findResource(const char* name, ResourceData& out) {
  // Resource names are stored in capitals and looked up without regard to case.
  return name && *name && resourceData(name, out);
}

bool findResource(std::int32_t id, ResourceData& out) {
  if (id <= 0 || id > 0xFFFF) return false;
  return resourceData(MAKEINTRESOURCEA(id), out);
}

Clock& systemClock() {
  static SystemClock clock;
  return clock;
}

std::int32_t doubleClickTime() { return std::int32_t(GetDoubleClickTime()); }

std::uint32_t startTimer(std::uint32_t intervalMs, TimerCallback callback) {
  if (!callback) return 0;
  // A thread timer: no window, the system picks the identifier and the
  // callback runs from this thread's message loop.
  const UINT_PTR id = SetTimer(nullptr, 0, intervalMs, timerFired);
  if (id == 0) return 0;
  if (std::uint64_t(id) >> 31 >> 1) {  // cannot be handed out as a 32-bit identifier
    KillTimer(nullptr, id);
    return 0;
  }
  runningTimers.push_back({id, callback});
  return std::uint32_t(id);
}

void killTimer(std::uint32_t id) {
  if (id == 0) return;
  KillTimer(nullptr, id);
  runningTimers.erase(std::remove_if(runningTimers.begin(), runningTimers.end(),
                                     [id](const RunningTimer& t) { return t.id == id; }),
                      runningTimers.end());
}

// Timer messages come through the thread's own message loop on Windows.
void pumpTimers(std::uint32_t) {}
bool nextTimerDue(std::uint32_t&) { return false; }

void cursorScreenPosition(CPoint& where) {
  POINT p{0, 0};
  GetCursorPos(&p);
  where = CPoint(p.x, p.y);
}

std::int32_t asyncMouseButtons() {
  std::int32_t buttons = 0;
  const auto down = [](int key) { return GetAsyncKeyState(key) < 0; };
  if (down(VK_LBUTTON)) buttons |= win32::buttonsSwapped ? kRButton : kLButton;
  if (down(VK_MBUTTON)) buttons |= kMButton;
  if (down(VK_RBUTTON)) buttons |= win32::buttonsSwapped ? kLButton : kRButton;
  if (down(VK_SHIFT)) buttons |= kShift;
  if (down(VK_CONTROL)) buttons |= kControl;
  if (down(VK_MENU)) buttons |= kAlt;
  return buttons;
}

CursorHandle currentCursor() { return GetCursor(); }

CursorHandle systemCursor(std::int32_t type) {
  static constexpr WORD ids[] = {0, 32514, 32644, 32645, 32646, 32643, 32642, 0, 32648, 32649};
  if (type < 1 || type > 9 || ids[type] == 0) return nullptr;
  return LoadCursorW(nullptr, MAKEINTRESOURCEW(ids[type]));
}

void setCursor(CursorHandle cursor) { SetCursor(static_cast<HCURSOR>(cursor)); }

bool wantsBackBuffer() {
  // Before Vista windows are not composited: the frame draws into a buffer
  // and copies the painted area.
  static const bool beforeVista = [] {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwMajorVersion < 6;
  }();
  return beforeVista;
}

namespace {
// Initialisations of this thread that succeeded and are not yet undone. A
// thread that the host already set up for free-threaded COM refuses OLE; the
// matching uninitialise must then be skipped, or it would tear down the
// host's own COM.
thread_local int oleInitialisations = 0;
}  // namespace

void oleInitialize() {
  if (SUCCEEDED(OleInitialize(nullptr))) ++oleInitialisations;
}

void oleUninitialize() {
  if (oleInitialisations == 0) return;
  --oleInitialisations;
  OleUninitialize();
}

}  // namespace VSTGUI::platform
