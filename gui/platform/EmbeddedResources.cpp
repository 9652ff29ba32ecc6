#include "EmbeddedResources.h"

#include "Platform.h"

namespace VSTGUI::platform {

namespace {
bool sameNameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char ca = *a >= 'a' && *a <= 'z' ? char(*a - 'a' + 'A') : *a;
    char cb = *b >= 'a' && *b <= 'z' ? char(*b - 'a' + 'A') : *b;
    if (ca != cb) return false;
  }
  return *a == *b;
}
}  // namespace

bool findResource(const char* name, ResourceData& out) {
  if (!name) return false;
  for (std::size_t i = 0; i < kEmbeddedResourceCount; ++i) {
    if (sameNameIgnoringCase(kEmbeddedResources[i].name, name)) {
      out.bytes = kEmbeddedResources[i].bytes;
      out.size = kEmbeddedResources[i].size;
      return true;
    }
  }
  return false;
}

// The table knows its resources only by name.
bool findResource(std::int32_t, ResourceData&) { return false; }

}  // namespace VSTGUI::platform
