// The editor of Quelmar.dll in real Win32 windows, driven the way a Windows
// host drives it: opened in a top-level window, fed posted mouse messages,
// captured from the screen.
//
//   editor_window_tests.exe QUELMAR_DLL OUTPUT_DIR

#include "WinTestSupport.h"

#include "host/HostedPlugin.h"
#include "host/PluginLibrary.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string dllPath;
std::string outputDir;
std::unique_ptr<host::PluginLibrary> library;

// The panel's parts, in editor pixels.
constexpr RECT kThresholdReadout{70, 100, 98, 112};
constexpr RECT kOutputReadout{220, 100, 248, 112};
constexpr POINT kIspSwitch{172, 105};
constexpr POINT kThresholdHandle{255, 79};
constexpr POINT kAboutHotSpot{170, 195};

HMODULE dllModule() {
  HMODULE m = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(library->entry()), &m);
  return m;
}

std::wstring expectedClass() {
  wchar_t name[64] = {};
  wsprintfW(name, L"Plugin%p", static_cast<void*>(dllModule()));
  return name;
}

bool classRegistered() {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(dllModule(), expectedClass().c_str(), &info) != 0;
}

std::unique_ptr<host::HostedPlugin> makePlugin() {
  std::string error;
  auto plugin = host::HostedPlugin::create(*library, {}, error);
  if (!plugin) std::printf("  %s\n", error.c_str());
  return plugin;
}

HWND editorChild(HWND parent) { return FindWindowExW(parent, nullptr, expectedClass().c_str(), nullptr); }

// Opens the editor in the window and lets it paint.
HWND open(host::HostedPlugin& plugin, HWND parent) {
  if (plugin.dispatch(effEditOpen, 0, 0, parent) != 1) return nullptr;
  wintest::pump(150);
  return editorChild(parent);
}

// Posts a message as the system would queue it, and lets it be dispatched.
void post(HWND child, UINT message, WPARAM wParam, LPARAM lParam) {
  PostMessageW(child, message, wParam, lParam);
  wintest::pump(20);
}

void click(HWND child, POINT p, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP) {
  PostMessageW(child, down, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  PostMessageW(child, up, 0, MAKELPARAM(p.x, p.y));
  wintest::pump(60);
}

// The edit requests (begin edit, automate, end edit) in the order they came.
std::vector<host::HostRequest> edits(const host::HostedPlugin& plugin) {
  std::vector<host::HostRequest> out;
  for (const auto& r : plugin.requests())
    if (r.opcode == audioMasterAutomate || r.opcode == audioMasterBeginEdit || r.opcode == audioMasterEndEdit)
      out.push_back(r);
  return out;
}

// A plug-in with its editor open in a host window of its own; closed at the end.
struct OpenEditor {
  std::unique_ptr<host::HostedPlugin> plugin = makePlugin();
  wintest::HostWindow host;
  HWND child = plugin ? open(*plugin, host.hwnd) : nullptr;
  ~OpenEditor() {
    if (plugin) plugin->dispatch(effEditClose);
  }
};

int differingOutsideReadouts(const wintest::Capture& a, const wintest::Capture& b) {
  int n = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const POINT p{x, y};
      if (PtInRect(&kThresholdReadout, p) || PtInRect(&kOutputReadout, p)) continue;
      n += a.at(x, y) != b.at(x, y);
    }
  return n;
}

TEST_CASE("the editor opens as a child window of the class Plugin%p, 340 x 215, and paints its panel") {
  auto plugin = makePlugin();
  REQUIRE(plugin);
  CHECK(!classRegistered());
  wintest::HostWindow host;
  HWND child = open(*plugin, host.hwnd);
  REQUIRE(child != nullptr);
  CHECK(wintest::classNameOf(child) == expectedClass());
  CHECK_EQ(GetWindowLongW(child, GWL_STYLE), 0x56000000L);
  // Composited from Vista on; before it the frame paints through a back buffer.
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&version);
#pragma GCC diagnostic pop
  std::printf("  system version %lu.%lu\n", version.dwMajorVersion, version.dwMinorVersion);
  CHECK_EQ(GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_COMPOSITED, version.dwMajorVersion >= 6 ? WS_EX_COMPOSITED : 0);
  CHECK(GetParent(child) == host.hwnd);
  RECT client{};
  GetClientRect(child, &client);
  CHECK_EQ(client.right, 340);
  CHECK_EQ(client.bottom, 215);
  wchar_t title[32] = {};
  GetWindowTextW(child, title, 32);
  CHECK(std::wstring(title) == L"Window");

  const wintest::Capture panel = wintest::capture(child);
  CHECK(panel.writeBmp(outputDir + "/editor-wine.bmp"));  // compared with the Linux rendering afterwards

  // Both read-outs draw their text: new values change exactly their pixels
  // (the fader handles move as well).
  plugin->setParameter(0, 0.0f);
  plugin->setParameter(1, 0.5f);
  plugin->dispatch(effEditIdle);
  wintest::pump(150);
  const wintest::Capture changed = wintest::capture(child);
  CHECK(wintest::differingPixels(panel, changed, 70, 100, 98, 112) > 10);
  CHECK(wintest::differingPixels(panel, changed, 220, 100, 248, 112) > 10);
  CHECK(changed.writeBmp(outputDir + "/editor-wine-changed.bmp"));
  CHECK_EQ(plugin->dispatch(effEditClose), 0);
  CHECK(editorChild(host.hwnd) == nullptr);
  CHECK(!classRegistered());
}

TEST_CASE("posted mouse messages: the ISP switch's click in order, a fader drag under capture") {
  OpenEditor e;
  REQUIRE(e.child);
  auto& plugin = e.plugin;
  HWND child = e.child;
  plugin->clearRequests();
  click(child, kIspSwitch);
  const auto got = edits(*plugin);
  REQUIRE(got.size() == 3);
  const VstInt32 order[3] = {audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit};
  for (int i = 0; i < 3; ++i) {
    CHECK_EQ(got[i].opcode, order[i]);
    CHECK_EQ(got[i].index, 3);
  }
  CHECK(got[1].opt == 1.0f);
  CHECK(plugin->getParameter(3) == 1.0f);
  CHECK(GetCapture() == nullptr);

  // A drag on the threshold fader holds the mouse until the release.
  plugin->clearRequests();
  post(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kThresholdHandle.x, kThresholdHandle.y));
  CHECK(GetCapture() == child);
  for (int x = kThresholdHandle.x; x >= 140; x -= 23)
    post(child, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, kThresholdHandle.y));
  post(child, WM_LBUTTONUP, 0, MAKELPARAM(140, kThresholdHandle.y));
  CHECK(GetCapture() == nullptr);
  const auto drag = edits(*plugin);
  REQUIRE(drag.size() >= 3);
  CHECK_EQ(drag.front().opcode, audioMasterBeginEdit);
  CHECK_EQ(drag.back().opcode, audioMasterEndEdit);
  for (std::size_t i = 1; i + 1 < drag.size(); ++i) {
    CHECK_EQ(drag[i].opcode, audioMasterAutomate);
    CHECK_EQ(drag[i].index, 0);
  }
  const float dragged = plugin->getParameter(0);
  CHECK(dragged < 0.6f && dragged > 0.4f);
}

TEST_CASE("the about panel is modal: it covers the panel, takes the next click and closes with it") {
  OpenEditor e;
  REQUIRE(e.child);
  auto& plugin = e.plugin;
  HWND child = e.child;
  const wintest::Capture before = wintest::capture(child);
  click(child, kAboutHotSpot);
  wintest::pump(100);
  const wintest::Capture about = wintest::capture(child);
  CHECK(about.writeBmp(outputDir + "/about-wine.bmp"));
  CHECK(wintest::differingPixels(before, about, 0, 0, 340, 215) > 340 * 215 / 4);
  // While it shows, the switch under it does not toggle.
  plugin->clearRequests();
  click(child, kIspSwitch);
  wintest::pump(100);
  CHECK(plugin->getParameter(3) == 0.0f);
  CHECK(edits(*plugin).empty());
  const wintest::Capture after = wintest::capture(child);
  CHECK(differingOutsideReadouts(before, after) == 0);
}

TEST_CASE("the editor's timer refreshes the meter while the host sends no idle requests") {
  OpenEditor e;
  REQUIRE(e.child);
  auto& plugin = e.plugin;
  HWND child = e.child;
  wintest::pump(100);
  const wintest::Capture quiet = wintest::capture(child);
  std::vector<float> left(512), right(512), outL(512), outR(512);
  for (int block = 0; block < 100; ++block) {
    for (int i = 0; i < 512; ++i) {
      left[i] = (((block * 512 + i) / 50) % 2) ? 0.9f : -0.9f;
      right[i] = -left[i];
    }
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outL.data(), outR.data()};
    plugin->processReplacing(in, out, 512);
  }
  wintest::pump(400);
  const wintest::Capture loud = wintest::capture(child);
  CHECK(differingOutsideReadouts(quiet, loud) > 50);
  CHECK(loud.writeBmp(outputDir + "/editor-wine-metering.bmp"));
}

TEST_CASE("two editors share one window class; it goes with the last of them") {
  auto first = makePlugin();
  auto second = makePlugin();
  REQUIRE(first && second);
  wintest::HostWindow hostA(400, 300, 40, 40);
  wintest::HostWindow hostB(400, 300, 460, 40);
  HWND a = open(*first, hostA.hwnd);
  HWND b = open(*second, hostB.hwnd);
  CHECK(a && b && a != b);
  CHECK(wintest::classNameOf(a) == wintest::classNameOf(b));
  first->dispatch(effEditClose);
  CHECK(classRegistered());
  CHECK(IsWindow(b));
  second->dispatch(effEditClose);
  CHECK(!classRegistered());
}

TEST_CASE("a host may destroy its window before closing the editor; open and close three times after it") {
  auto plugin = makePlugin();
  REQUIRE(plugin);
  {
    wintest::HostWindow host;
    HWND child = open(*plugin, host.hwnd);
    CHECK(child != nullptr);
    DestroyWindow(host.hwnd);
    CHECK(!IsWindow(child));
    plugin->dispatch(effEditIdle);
    wintest::pump(50);
    CHECK_EQ(plugin->dispatch(effEditClose), 0);
  }
  CHECK(!classRegistered());

  // Then three times open and closed in another window. The graphics library
  // stops with the last window and starts again with the next: images and
  // text come back the same.
  wintest::HostWindow again;
  wintest::Capture first;
  for (int round = 0; round < 3; ++round) {
    HWND child = open(*plugin, again.hwnd);
    REQUIRE(child != nullptr);
    plugin->dispatch(effEditIdle);
    wintest::pump(40);
    const wintest::Capture now = wintest::capture(child);
    if (round == 0)
      first = now;
    else
      CHECK_EQ(wintest::differingPixels(first, now, 0, 0, 340, 215), 0);
    CHECK_EQ(plugin->dispatch(effEditClose), 0);
    CHECK(!IsWindow(child));
    CHECK(editorChild(again.hwnd) == nullptr);
  }
  HWND child = open(*plugin, again.hwnd);
  CHECK(child != nullptr);
  CHECK_EQ(plugin->close(), 1);  // the instance goes with its editor open
  CHECK(!IsWindow(child));
  CHECK(!classRegistered());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: %s QUELMAR_DLL OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  dllPath = argv[1];
  outputDir = argv[2];
  std::string error;
  library = host::PluginLibrary::open(dllPath, error);
  if (!library) {
    std::printf("%s\n0 passed, 1 failed\n", error.c_str());
    return 1;
  }
  return wintest::runAll();
}
