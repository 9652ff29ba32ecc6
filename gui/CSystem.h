#pragma once
// The system services an editor needs beside its frame: the millisecond clock
// and sleep that pace idle processing, a waiting repaint performed from inside
// a long mouse gesture, and the per-thread start of the OLE layer that file
// drops work through. Editors reach the platform through here only; tests that
// install their own clock in the platform layer pace these calls too.

#include <cstdint>

namespace VSTGUI {

class CSystem {
 public:
  CSystem() = delete;

  // Milliseconds since an arbitrary start, wrapping at 2^32.
  static std::uint32_t tickCount();
  static void sleep(std::uint32_t milliseconds);
  // At most one paint waiting for a window of the calling thread.
  static void dispatchPendingPaint();
  // Paired per editor on the thread that creates it.
  static void oleInitialize();
  static void oleUninitialize();
};

}  // namespace VSTGUI
