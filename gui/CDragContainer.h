#pragma once

#include <cstdint>

#include "CBaseObject.h"

namespace VSTGUI {

// The data of a drag in progress as views see it: items handed out one at a
// time as UTF-8 strings. The platform's drop support provides the concrete one.
class CDragContainer : public CBaseObject {
 public:
  enum ItemType : std::int32_t {
    kFile = 0,
    kText = 1,
    kUnicodeText = 2,
    kNoItem = -1,
    kError = -2,
  };

  virtual const char* firstItem(std::int32_t& size, std::int32_t& type) = 0;
  virtual const char* nextItem(std::int32_t& size, std::int32_t& type) = 0;
  virtual std::int32_t itemType(std::int32_t index) = 0;
  virtual std::int32_t itemCount() = 0;
};

}  // namespace VSTGUI
