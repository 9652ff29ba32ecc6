// The GUI framework's Windows layer on its own: a frame in a real Win32
// window with views that record what reaches them, for the mouse and wheel
// translation, capture, leave tracking, drag-and-drop through the registered
// OLE drop target, and the fonts text is drawn with.
//
//   frame_window_tests.exe

#include "WinTestSupport.h"

#include <ole2.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gui/CBitmap.h"
#include "gui/CDragContainer.h"
#include "gui/COffscreenContext.h"
#include "gui/CFontDesc.h"
#include "gui/CFrame.h"
#include "gui/CView.h"
#include "gui/platform/Platform.h"
#include "gui/platform/PlatformWindow.h"
#include "gui/platform/win32/CDropTarget.h"

using namespace VSTGUI;

namespace {

struct DragItem {
  std::string text;
  std::int32_t type;
};

// A view that records every event it gets.
class RecordingView : public CView {
 public:
  RecordingView(const CRect& r, CMouseEventResult answer) : CView(r), downAnswer(answer) {}

  CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons) override {
    downs.push_back({where, buttons});
    return downAnswer;
  }
  CMouseEventResult mouseUp(CPoint&, std::int32_t) override {
    ++ups;
    return kMouseEventHandled;
  }
  CMouseEventResult mouseEntered(CPoint&, std::int32_t) override {
    ++entered;
    return kMouseEventHandled;
  }
  CMouseEventResult mouseExited(CPoint&, std::int32_t) override {
    ++exited;
    return kMouseEventHandled;
  }
  bool mouseWheel(const CPoint& where, float distance, std::int32_t buttons) override {
    wheels.push_back({where, distance, buttons});
    return true;
  }
  void dragEnter(CDragContainer* drag, const CPoint&) override {
    ++dragEntered;
    enterCount = drag->itemCount();
    enterType = drag->itemType(0);
  }
  void dragMove(CDragContainer*, const CPoint&) override { ++dragMoved; }
  void dragLeave(CDragContainer*, const CPoint&) override { ++dragLeft; }
  bool dragDrop(CDragContainer* drag, const CPoint&) override {
    ++dropped;
    items.clear();
    std::int32_t size = 0, type = 0;
    for (const char* item = drag->firstItem(size, type); item; item = drag->nextItem(size, type)) {
      items.push_back({item, type});
      if (std::int32_t(std::strlen(item)) != size) ++sizeMismatches;
    }
    afterLastType = type;
    return true;
  }

  struct Press {
    CPoint where;
    std::int32_t buttons;
  };
  struct Wheel {
    CPoint where;
    float distance;
    std::int32_t buttons;
  };
  CMouseEventResult downAnswer;
  std::vector<Press> downs;
  std::vector<Wheel> wheels;
  int ups = 0, entered = 0, exited = 0;
  int dragEntered = 0, dragMoved = 0, dragLeft = 0, dropped = 0;
  std::int32_t enterCount = -9, enterType = -9, afterLastType = -9;
  std::vector<DragItem> items;
  int sizeMismatches = 0;
};

HWND frameWindow(CFrame* frame) { return static_cast<HWND>(frame->getPlatformWindow()->handle()); }

// ---------------------------------------------------------------- mouse

TEST_CASE("mouse messages: buttons, modifiers, double-click bit, capture for a taken press, wheel, leave") {
  wintest::HostWindow host;
  auto* frame = new CFrame(CRect(0, 0, 240, 120), host.hwnd, nullptr);
  auto* taker = new RecordingView(CRect(10, 10, 110, 110), kMouseEventHandled);
  auto* refuser = new RecordingView(CRect(120, 10, 220, 110), kMouseEventNotHandled);
  frame->addView(taker);
  frame->addView(refuser);
  REQUIRE(frame->getPlatformWindow() != nullptr);
  HWND child = frameWindow(frame);

  SendMessageW(child, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(50, 60));
  REQUIRE(taker->downs.size() == 1);
  CHECK_EQ(taker->downs[0].buttons, kLButton | kDoubleClick);
  CHECK_EQ(taker->downs[0].where.x, 50);  // frame coordinates
  CHECK_EQ(taker->downs[0].where.y, 60);
  CHECK(GetCapture() == child);
  SendMessageW(child, WM_LBUTTONUP, 0, MAKELPARAM(50, 60));
  CHECK_EQ(taker->ups, 1);
  CHECK(GetCapture() == nullptr);

  SendMessageW(child, WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT | MK_CONTROL, MAKELPARAM(20, 20));
  REQUIRE(taker->downs.size() == 2);
  CHECK_EQ(taker->downs[1].buttons, kRButton | kShift | kControl);
  SendMessageW(child, WM_RBUTTONUP, 0, MAKELPARAM(20, 20));

  SendMessageW(child, WM_MBUTTONDOWN, MK_MBUTTON | MK_XBUTTON1 | MK_XBUTTON2, MAKELPARAM(20, 20));
  REQUIRE(taker->downs.size() == 3);
  CHECK_EQ(taker->downs[2].buttons, kMButton | kButton4 | kButton5);
  SendMessageW(child, WM_MBUTTONUP, 0, MAKELPARAM(20, 20));

  SendMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 60));
  CHECK_EQ(refuser->downs.size(), 1u);
  CHECK(GetCapture() == nullptr);
  SendMessageW(child, WM_LBUTTONUP, 0, MAKELPARAM(150, 60));

  // The wheel's position is on the screen; whole notches turn, half a one does not.
  auto* view = taker;
  POINT screen{50, 60};
  ClientToScreen(child, &screen);
  for (short delta : {short(-120), short(60), short(240), short(-119)})
    SendMessageW(child, WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, WORD(delta)), MAKELPARAM(screen.x, screen.y));
  REQUIRE(view->wheels.size() == 4);
  CHECK(view->wheels[0].distance == -1.0f);
  CHECK(view->wheels[1].distance == 0.0f);
  CHECK(view->wheels[2].distance == 2.0f);
  CHECK(view->wheels[3].distance == 0.0f);
  CHECK_EQ(view->wheels[0].where.x, 50);  // frame coordinates, unchanged
  CHECK_EQ(view->wheels[0].where.y, 60);

  // The view under the mouse is told of the leave once the system reports it.
  const int entered = view->entered, exited = view->exited;
  SendMessageW(child, WM_MOUSEMOVE, 0, MAKELPARAM(40, 40));
  CHECK_EQ(view->entered, entered + 1);
  CHECK(frame->isMouseTracking());
  SendMessageW(child, WM_MOUSELEAVE, 0, 0);
  CHECK_EQ(view->exited, exited + 1);
  CHECK(!frame->isMouseTracking());
  CHECK(frame->getMouseOverView() == nullptr);
  frame->release();
}

// ---------------------------------------------------------------- host window

TEST_CASE("resizing the frame resizes a host window of its size around it, not a larger one") {
  wintest::HostWindow host(240, 120, 30, 50);
  auto* frame = new CFrame(CRect(0, 0, 240, 120), host.hwnd, nullptr);
  REQUIRE(frame->getPlatformWindow() != nullptr);
  HWND child = frameWindow(frame);
  CHECK(!frame->setSize(240, 120));  // the size it has
  CHECK(frame->setSize(300, 200));
  RECT client{};
  GetClientRect(child, &client);
  CHECK_EQ(client.right, 300);
  CHECK_EQ(client.bottom, 200);
  GetClientRect(host.hwnd, &client);
  CHECK_EQ(client.right, 300);
  CHECK_EQ(client.bottom, 200);
  CHECK_EQ(frame->getBounds().width(), 300);
  CHECK_EQ(frame->getBounds().height(), 200);

  RECT outer{};
  GetWindowRect(host.hwnd, &outer);
  CRect size;
  CHECK(frame->getSize(size));
  CHECK_EQ(size.width(), outer.right - outer.left);
  CHECK_EQ(size.height(), outer.bottom - outer.top);
  CCoord x = -1, y = -1;
  CHECK(frame->getPosition(x, y));
  CHECK_EQ(x, outer.left);
  CHECK_EQ(y, outer.top);
  CHECK(!frame->setPosition(0, 0));
  frame->release();

  // A host window much larger than the editor keeps its size, and so does the frame.
  wintest::HostWindow large(600, 400);
  frame = new CFrame(CRect(0, 0, 240, 120), large.hwnd, nullptr);
  REQUIRE(frame->getPlatformWindow() != nullptr);
  CHECK(frame->setSize(300, 200));
  GetClientRect(large.hwnd, &client);
  CHECK_EQ(client.right, 600);
  CHECK_EQ(frame->getBounds().width(), 240);
  frame->release();
}

TEST_CASE("cursors: system cursors by type, the cursor from before restored by type 0 and by the frame's end") {
  wintest::HostWindow host;
  HCURSOR before = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  SetCursor(before);
  auto* frame = new CFrame(CRect(0, 0, 100, 100), host.hwnd, nullptr);
  frame->setCursor(kCursorHand);
  CHECK(GetCursor() == LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
  frame->setCursor(kCursorDefault);
  CHECK(GetCursor() == before);
  frame->setCursor(kCursorWait);
  CHECK(GetCursor() == LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));
  frame->release();
  CHECK(GetCursor() == before);
}

// ---------------------------------------------------------------- drops

// A data object as the shell hands it over: file names (CF_HDROP) or
// Unicode text, each in global memory.
class FakeData final : public IDataObject {
 public:
  static FakeData* files(const std::vector<std::wstring>& names) {
    auto* d = new FakeData();
    d->format = CF_HDROP;
    d->fileNames = names;
    return d;
  }
  static FakeData* text(const std::wstring& t) {
    auto* d = new FakeData();
    d->format = CF_UNICODETEXT;
    d->unicodeText = t;
    return d;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
      AddRef();
      *object = this;
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = --refs;
    if (left == 0) delete this;
    return ULONG(left);
  }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* requested, STGMEDIUM* medium) override {
    if (QueryGetData(requested) != S_OK) return DV_E_FORMATETC;
    ++dataRequests;
    HGLOBAL memory = nullptr;
    if (format == CF_HDROP) {
      std::wstring list;
      for (const auto& n : fileNames) list += n + L'\0';
      list += L'\0';
      memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
      auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
      drop->pFiles = sizeof(DROPFILES);
      drop->fWide = TRUE;
      std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
      GlobalUnlock(memory);
    } else {
      const std::size_t bytes = (unicodeText.size() + 1) * sizeof(wchar_t);
      memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
      std::memcpy(GlobalLock(memory), unicodeText.c_str(), bytes);
      GlobalUnlock(memory);
    }
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* requested) override {
    if (!requested || requested->cfFormat != format || !(requested->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  int dataRequests = 0;

 private:
  FakeData() = default;
  ~FakeData() = default;
  LONG refs = 1;
  CLIPFORMAT format = 0;
  std::vector<std::wstring> fileNames;
  std::wstring unicodeText;
};

std::string utf8(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(std::size_t(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  s.resize(std::strlen(s.c_str()));
  return s;
}

void writeFile(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(f, "quelmar", 7, &written, nullptr);
  CloseHandle(f);
}

bool makeShortcut(const std::wstring& link, const std::wstring& target) {
  IShellLinkW* shell = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shell))))
    return false;
  IPersistFile* file = nullptr;
  bool ok = SUCCEEDED(shell->SetPath(target.c_str())) &&
            SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
            SUCCEEDED(file->Save(link.c_str(), TRUE));
  if (file) file->Release();
  shell->Release();
  return ok;
}

// The drop target the frame registered for its window, as the system keeps it.
IDropTarget* registeredTarget(HWND hwnd) {
  return static_cast<IDropTarget*>(GetPropW(hwnd, L"OleDropTargetInterface"));
}

struct DropFixture {
  wintest::HostWindow host;
  CFrame* frame = nullptr;
  RecordingView* view = nullptr;
  HWND child = nullptr;
  IDropTarget* target = nullptr;
  DropFixture() {
    frame = new CFrame(CRect(0, 0, 200, 150), host.hwnd, nullptr);
    view = new RecordingView(CRect(0, 0, 200, 150), kMouseEventHandled);
    frame->addView(view);
    if (frame->getPlatformWindow()) child = frameWindow(frame);
    if (child) {
      // The drag position comes from the cursor, which must be over the view.
      POINT middle{100, 75};
      ClientToScreen(child, &middle);
      SetCursorPos(middle.x, middle.y);
      target = registeredTarget(child);
    }
  }
  ~DropFixture() { frame->release(); }
};

TEST_CASE("the frame's window has a drop target; a second registration is refused while it is open") {
  DropFixture f;
  REQUIRE(f.child != nullptr);
  CHECK(f.frame->isDropActive());
  CHECK(f.target != nullptr);
  auto* other = new CDropTarget(nullptr);
  other->AddRef();
  CHECK(RegisterDragDrop(f.child, other) == DRAGDROP_E_ALREADYREGISTERED);
  other->Release();
  // Switching drops off revokes the registration; on again registers anew.
  CHECK(f.frame->setDropActive(false));
  CHECK(registeredTarget(f.child) == nullptr);
  CHECK(f.frame->setDropActive(true));
  CHECK(registeredTarget(f.child) != nullptr);
}

TEST_CASE("dropped files reach the view one at a time, a shortcut resolved to its target") {
  DropFixture f;
  REQUIRE(f.target != nullptr);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"quelmar.drop.test\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring first = folder + L"first take.wav";
  const std::wstring third = folder + L"third.txt";
  const std::wstring link = folder + L"shortcut to third.LNK";
  const std::wstring notLink = folder + L"notes.lnk.txt";
  writeFile(first);
  writeFile(third);
  writeFile(notLink);
  REQUIRE(makeShortcut(link, third));
  wchar_t shortThird[2048] = {};
  GetShortPathNameW(third.c_str(), shortThird, 2048);

  FakeData* data = FakeData::files({first, link, notLink});
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  const POINTL point{0, 0};
  CHECK(f.target->DragEnter(data, MK_LBUTTON, point, &effect) == S_OK);
  CHECK_EQ(effect, DWORD(DROPEFFECT_COPY));
  CHECK_EQ(f.view->dragEntered, 1);
  CHECK_EQ(f.view->enterCount, 3);
  CHECK_EQ(f.view->enterType, CDragContainer::kFile);
  effect = DROPEFFECT_MOVE | DROPEFFECT_LINK;
  CHECK(f.target->DragOver(MK_LBUTTON, point, &effect) == S_OK);
  CHECK_EQ(effect, DWORD(DROPEFFECT_MOVE));
  effect = DROPEFFECT_LINK;
  f.target->DragOver(MK_LBUTTON, point, &effect);
  CHECK_EQ(effect, DWORD(DROPEFFECT_LINK));
  effect = DROPEFFECT_NONE;
  f.target->DragOver(MK_LBUTTON, point, &effect);
  CHECK_EQ(effect, DWORD(DROPEFFECT_NONE));
  CHECK_EQ(f.view->dragMoved, 3);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  CHECK(f.target->Drop(data, 0, point, &effect) == S_OK);
  CHECK_EQ(effect, DWORD(DROPEFFECT_COPY | DROPEFFECT_MOVE));  // left as the system gave it
  CHECK_EQ(f.view->dropped, 1);
  REQUIRE(f.view->items.size() == 3);
  CHECK(f.view->items[0].text == utf8(first));
  CHECK_EQ(f.view->items[0].type, CDragContainer::kFile);
  // The short (8.3) form of the target is asked for; Wine's shell link hands
  // out the long form whatever the flag says, so either names the target.
  CHECK(f.view->items[1].text == utf8(shortThird) || f.view->items[1].text == utf8(third));
  CHECK(f.view->items[2].text == utf8(notLink));  // ".lnk" before another extension is no shortcut
  CHECK_EQ(f.view->afterLastType, CDragContainer::kNoItem);
  CHECK_EQ(f.view->sizeMismatches, 0);
  std::printf("  shortcut resolved to %s (short form of the target: %s)\n", f.view->items[1].text.c_str(),
              utf8(shortThird).c_str());
  // A leave after the drop has no drag to end.
  const int left = f.view->dragLeft;
  f.target->DragLeave();
  CHECK_EQ(f.view->dragLeft, left);
  data->Release();
  DeleteFileW(first.c_str());
  DeleteFileW(third.c_str());
  DeleteFileW(link.c_str());
  DeleteFileW(notLink.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST_CASE("dragged Unicode text is one text item, handed out as UTF-8; a leave ends the drag") {
  DropFixture f;
  REQUIRE(f.target != nullptr);
  const POINTL point{0, 0};
  DWORD effect = DROPEFFECT_NONE;
  f.target->DragLeave();  // no drag yet: nothing happens
  CHECK_EQ(f.view->dragLeft, 0);
  CHECK(f.target->DragOver(0, point, &effect) == S_OK);
  CHECK_EQ(f.view->dragMoved, 0);

  const std::wstring text = L"Gr\u00fc\u00dfe \u2192 \U0001F3B5 limiter";
  FakeData* data = FakeData::text(text);
  effect = DROPEFFECT_NONE;
  CHECK(f.target->DragEnter(data, MK_LBUTTON, point, &effect) == S_OK);
  CHECK_EQ(effect, DWORD(DROPEFFECT_NONE));  // nothing allowed stays nothing
  CHECK_EQ(f.view->enterCount, 1);
  CHECK_EQ(f.view->enterType, CDragContainer::kText);
  f.target->DragLeave();
  CHECK_EQ(f.view->dragLeft, 1);
  CHECK_EQ(f.view->dropped, 0);

  effect = DROPEFFECT_LINK;
  f.target->DragEnter(data, MK_LBUTTON, point, &effect);
  f.target->Drop(data, 0, point, &effect);
  REQUIRE(f.view->items.size() == 1);
  CHECK(f.view->items[0].text == utf8(text));
  CHECK_EQ(f.view->items[0].type, CDragContainer::kUnicodeText);
  data->Release();

  // Without a data object the drag is refused.
  effect = DROPEFFECT_COPY;
  CHECK(f.target->DragEnter(nullptr, 0, point, &effect) == S_OK);
  CHECK_EQ(effect, DWORD(DROPEFFECT_NONE));
}

TEST_CASE("the drop registration ends with the frame, or with a host window destroyed first") {
  auto* host = new wintest::HostWindow();
  auto* frame = new CFrame(CRect(0, 0, 100, 100), host->hwnd, nullptr);
  IDropTarget* target = registeredTarget(frameWindow(frame));
  REQUIRE(target != nullptr);
  target->AddRef();
  delete host;  // destroys the frame's window too
  CHECK(!frame->isDropActive());
  CHECK(!frame->isOpen());
  CHECK_EQ(target->Release(), 0u);  // nobody else holds it: it is gone
  frame->release();

  // The frame's own end revokes it as well.
  wintest::HostWindow other;
  frame = new CFrame(CRect(0, 0, 100, 100), other.hwnd, nullptr);
  target = registeredTarget(frameWindow(frame));
  REQUIRE(target != nullptr);
  target->AddRef();
  frame->release();
  CHECK_EQ(target->Release(), 0u);
}

// ---------------------------------------------------------------- images

TEST_CASE("images come from the module's DATA resources by name in any case, and blend at any alpha") {
  // The images the editor shows are seen in its pixels; here a name with
  // nothing behind it, and a blend the editor does not use.
  auto* missing = new CBitmap("bmp00999.png");
  CHECK(!missing->isLoaded());
  CHECK_EQ(missing->getWidth(), 0);
  CHECK(!missing->loadFromResource(CResourceDescription(128)));
  missing->release();

  // The fader handle has real alpha; drawn at half alpha over nothing, every
  // pixel keeps its colour and gets half its alpha.
  auto* handle = new CBitmap("BMP00130.PNG");
  REQUIRE(handle->isLoaded());
  const CCoord w = handle->getWidth(), h = handle->getHeight();
  auto* whole = new COffscreenContext(nullptr, w, h);
  auto* half = new COffscreenContext(nullptr, w, h);
  handle->drawAlphaBlend(whole, CRect(0, 0, w, h), CPoint(0, 0), 255);
  handle->drawAlphaBlend(half, CRect(0, 0, w, h), CPoint(0, 0), 128);
  int visible = 0, wrong = 0;
  for (CCoord y = 0; y < h; ++y) {
    for (CCoord x = 0; x < w; ++x) {
      CColor a, b, source;
      whole->getPixel(x, y, a);
      half->getPixel(x, y, b);
      handle->getPixel(x, y, source);
      if (a.alpha != source.alpha) ++wrong;
      if (std::abs(int(b.alpha) - int(a.alpha) * 128 / 255) > 1) ++wrong;
      // Colours of nearly transparent pixels are lost to rounding; compare the rest.
      if (b.alpha >= 32) {
        ++visible;
        if (std::abs(int(b.red) - int(a.red)) > 8 || std::abs(int(b.green) - int(a.green)) > 8 ||
            std::abs(int(b.blue) - int(a.blue)) > 8)
          ++wrong;
      }
    }
  }
  CHECK(visible > 50);
  CHECK_EQ(wrong, 0);
  whole->release();
  half->release();
  handle->release();
}

// ---------------------------------------------------------------- fonts

TEST_CASE("every predefined font has a platform font to draw with") {
  wintest::HostWindow host;
  auto* frame = new CFrame(CRect(0, 0, 100, 100), host.hwnd, nullptr);  // starts the graphics library
  auto arial = platform::createFont("Arial", 12.0f, platform::kFontRegular);
  auto generic = platform::createFont(nullptr, 12.0f, platform::kFontRegular);
  std::printf("  font \"Arial\" -> %s\n", arial ? arial->resolvedFamily() : "(not available)");
  std::printf("  generic sans-serif -> %s\n", generic ? generic->resolvedFamily() : "(not available)");
  CHECK(generic != nullptr);
  std::size_t count = 0;
  CFontDesc* const* fonts = predefinedFonts(count);
  CHECK_EQ(count, 8u);
  for (std::size_t i = 0; i < count; ++i) {
    platform::Font* font = fonts[i]->getPlatformFont();
    CHECK(font != nullptr);
    if (!font) continue;
    CHECK(font->lineHeight() > float(fonts[i]->getSize()));
    CHECK(font->lineHeight() < 2.0f * float(fonts[i]->getSize()));
    if (i == 0) std::printf("  \"%s\" %d px draws with %s\n", fonts[i]->getName(), fonts[i]->getSize(), font->resolvedFamily());
  }
  frame->release();
}

}  // namespace

int main() {
  OleInitialize(nullptr);
  const int result = wintest::runAll();
  OleUninitialize();
  return result;
}
