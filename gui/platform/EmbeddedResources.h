#pragma once

// The library's data resources on platforms without module resources: a table
// compiled into the library from the files in resources/.

#include <cstddef>
#include <cstdint>

namespace VSTGUI::platform {

struct EmbeddedResource {
  const char* name;
  const std::uint8_t* bytes;
  std::uint32_t size;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const std::size_t kEmbeddedResourceCount;

}  // namespace VSTGUI::platform
