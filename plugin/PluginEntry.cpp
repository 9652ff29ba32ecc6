// The library's exported entry point.

#include "plugin/Quelmar.h"

#include <new>

// A format's library (CLAP, LV2) links the entry point in for its own use
// and exports only its format's entry.
#if defined(QUELMAR_ENTRY_UNEXPORTED)
#define QUELMAR_EXPORT extern "C"
#elif defined(_WIN32)
#define QUELMAR_EXPORT extern "C" __declspec(dllexport)
#else
#define QUELMAR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

QUELMAR_EXPORT AEffect* VST_CALLBACK VSTPluginMain(audioMasterCallback hostCallback) {
  // A host that does not even answer the version request is not one we can
  // work with: make nothing.
  if (hostCallback == nullptr) return nullptr;
  if (hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  try {
    Quelmar* effect = new Quelmar(hostCallback, &createQuelmarEditor);
    return effect->getAeffect();
  } catch (...) {
    return nullptr;  // nothing half-built reaches the host
  }
}

// Older hosts look for the same function under the name "main"; it cannot be
// declared as such in C++, so it is an alias at the symbol level. On Windows
// the module definition file (Quelmar.def) exports the second name.
#if !defined(_WIN32) && !defined(QUELMAR_ENTRY_UNEXPORTED)
QUELMAR_EXPORT AEffect* vstMainAlias(audioMasterCallback) __asm__("main") __attribute__((alias("VSTPluginMain")));
#endif
