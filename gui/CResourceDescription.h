#pragma once

#include <cstdint>

namespace VSTGUI {

// Where an image comes from: a resource by integer identifier or by name, or
// nothing (a bitmap made in memory). A name is not copied; the caller keeps it
// alive.
struct CResourceDescription {
  enum Type : std::int32_t { kIntegerType = 0, kStringType = 1, kUnknownType = 2 };

  Type type = kUnknownType;
  union {
    std::int32_t id;
    const char* name;
  } u{0};

  constexpr CResourceDescription() = default;
  constexpr CResourceDescription(std::int32_t id) : type(kIntegerType) { u.id = id; }
  constexpr CResourceDescription(const char* name) : type(kStringType) { u.name = name; }
};

}  // namespace VSTGUI
