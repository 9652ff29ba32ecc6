#pragma once

#include <cstdint>

#include "CBaseObject.h"

namespace VSTGUI {

// Keeps the platform graphics library started while any frame or bitmap
// exists. At most one instance lives; the first acquire starts the library,
// the release of the last reference shuts it down.
class GDIPlusGlobals : public CBaseObject {
 public:
  static void acquire();
  static void releaseShared();
  // Null while the library is not started.
  static GDIPlusGlobals* current() { return instance; }

 private:
  GDIPlusGlobals();
  ~GDIPlusGlobals() override;

  std::uintptr_t token = 0;
  static GDIPlusGlobals* instance;
};

}  // namespace VSTGUI
