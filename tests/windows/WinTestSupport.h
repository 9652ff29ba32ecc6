#pragma once
// A small test harness for the Windows executables run under Wine: checks
// grouped into named cases, a summary line "N passed, N failed" at the end,
// and helpers for real top-level windows and their messages.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace wintest {

struct Registry {
  struct Case {
    const char* name;
    std::function<void()> body;
  };
  std::vector<Case> cases;
  int failures = 0;  // of the running case
  static Registry& get() {
    static Registry r;
    return r;
  }
};

struct Register {
  Register(const char* name, std::function<void()> body) { Registry::get().cases.push_back({name, std::move(body)}); }
};

#define WT_CONCAT2(a, b) a##b
#define WT_CONCAT(a, b) WT_CONCAT2(a, b)
#define TEST_CASE(name)                                                               \
  static void WT_CONCAT(testBody, __LINE__)();                                        \
  static wintest::Register WT_CONCAT(testRegister, __LINE__)(name, WT_CONCAT(testBody, __LINE__)); \
  static void WT_CONCAT(testBody, __LINE__)()

#define CHECK(condition)                                                                  \
  do {                                                                                    \
    if (!(condition)) {                                                                   \
      ++wintest::Registry::get().failures;                                                \
      std::printf("  %s:%d: CHECK failed: %s\n", __FILE__, __LINE__, #condition);      \
    }                                                                                     \
  } while (0)

// Ends the case when the condition fails: what follows depends on it.
#define REQUIRE(condition)                                                                \
  do {                                                                                    \
    if (!(condition)) {                                                                   \
      ++wintest::Registry::get().failures;                                                \
      std::printf("  %s:%d: REQUIRE failed: %s\n", __FILE__, __LINE__, #condition);       \
      return;                                                                             \
    }                                                                                     \
  } while (0)

#define CHECK_EQ(a, b)                                                                                  \
  do {                                                                                                  \
    const auto wtA = (a);                                                                               \
    const auto wtB = (b);                                                                               \
    if (!(wtA == wtB)) {                                                                                \
      ++wintest::Registry::get().failures;                                                              \
      std::printf("  %s:%d: CHECK_EQ failed: %s == %s (%lld vs %lld)\n", __FILE__, __LINE__, #a, #b,  \
                  static_cast<long long>(wtA), static_cast<long long>(wtB));                            \
    }                                                                                                   \
  } while (0)

// Runs every case; a case fails when any of its checks does.
inline int runAll() {
  auto& r = Registry::get();
  int passed = 0, failed = 0;
  for (const auto& c : r.cases) {
    r.failures = 0;
    std::printf("[ RUN  ] %s\n", c.name);
    std::fflush(stdout);
    c.body();
    if (r.failures == 0) {
      ++passed;
      std::printf("[  OK  ] %s\n", c.name);
    } else {
      ++failed;
      std::printf("[FAILED] %s\n", c.name);
    }
    std::fflush(stdout);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

// Dispatches this thread's messages for the given time.
inline void pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(1);
  } while (GetTickCount() - start < milliseconds);
}

// A top-level window standing in for the host's editor window.
class HostWindow {
 public:
  HostWindow(int clientWidth = 400, int clientHeight = 300, int x = 40, int y = 40) {
    static const wchar_t* className = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
      wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
      wc.lpszClassName = L"QuelmarTestHost";
      RegisterClassW(&wc);
      return L"QuelmarTestHost";
    }();
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    hwnd = CreateWindowExW(0, className, L"Quelmar test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    pump(50);
  }
  ~HostWindow() {
    if (hwnd && IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND hwnd = nullptr;
};

inline std::wstring classNameOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

// The pixels of a window's client area as the screen shows them, 0xRRGGBB.
struct Capture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] & 0xFFFFFF; }

  // A 24-bit BMP, which ImageMagick reads for the comparison with Linux.
  bool writeBmp(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const int row = (width * 3 + 3) & ~3;
    const std::uint32_t dataSize = std::uint32_t(row * height);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    fh.bfSize = fh.bfOffBits + dataSize;
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof(ih);
    ih.biWidth = width;
    ih.biHeight = height;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = dataSize;
    std::fwrite(&fh, sizeof fh, 1, f);
    std::fwrite(&ih, sizeof ih, 1, f);
    std::vector<unsigned char> line(std::size_t(row), 0);
    for (int y = height - 1; y >= 0; --y) {
      for (int x = 0; x < width; ++x) {
        const std::uint32_t p = at(x, y);
        line[std::size_t(3 * x)] = p & 0xFF;
        line[std::size_t(3 * x + 1)] = (p >> 8) & 0xFF;
        line[std::size_t(3 * x + 2)] = (p >> 16) & 0xFF;
      }
      std::fwrite(line.data(), 1, line.size(), f);
    }
    return std::fclose(f) == 0;
  }
};

// GetDC + BitBlt: what the window really shows (PrintWindow gives black
// under Wine).
inline Capture capture(HWND hwnd) {
  Capture c;
  RECT r{};
  GetClientRect(hwnd, &r);
  c.width = r.right - r.left;
  c.height = r.bottom - r.top;
  if (c.width <= 0 || c.height <= 0) return c;
  HDC screen = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = c.width;
  info.bmiHeader.biHeight = -c.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, dib);
  BitBlt(memory, 0, 0, c.width, c.height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  c.pixels.assign(static_cast<const std::uint32_t*>(bits),
                  static_cast<const std::uint32_t*>(bits) + std::size_t(c.width) * std::size_t(c.height));
  SelectObject(memory, old);
  DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(hwnd, screen);
  return c;
}

// Pixels of the rectangle that differ between two captures.
inline int differingPixels(const Capture& a, const Capture& b, int left, int top, int right, int bottom) {
  if (a.width != b.width || a.height != b.height) return -1;
  int n = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) n += a.at(x, y) != b.at(x, y);
  return n;
}

inline std::wstring widen(const std::string& s) {
  std::wstring w(s.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, w.data(), int(w.size()));
  w.resize(n > 0 ? std::size_t(n - 1) : 0);
  return w;
}

}  // namespace wintest
