#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CBaseObject.h"

namespace VSTGUI {

namespace platform {
class Font;
}

enum CTxtFace : std::uint32_t {
  kNormalFace = 0,
  kBoldFace = 1 << 0,
  kItalicFace = 1 << 1,
  kUnderlineFace = 1 << 2,
};

// A font by family name, pixel size and style. The platform font is made on
// first use and kept, so drawing code can set the same font before every
// string without cost.
class CFontDesc : public CBaseObject {
 public:
  CFontDesc(const char* name, std::int32_t size, std::int32_t style = kNormalFace);
  ~CFontDesc() override;

  // A null name leaves the description without a family.
  void setName(const char* name);
  const char* getName() const { return hasName ? name.c_str() : nullptr; }
  std::int32_t getSize() const { return size; }
  std::int32_t getStyle() const { return style; }

  // Null only if the platform has no font at all.
  platform::Font* getPlatformFont();
  bool hasPlatformFont() const { return platformFont != nullptr; }
  // Drops the platform font; the next use makes it again.
  void freePlatformFont();

  // Longest family name the platform font creation accepts.
  static constexpr std::size_t kMaxFamilyNameLength = 200;

 private:
  std::string name;
  bool hasName = false;
  std::int32_t size;
  std::int32_t style;
  std::unique_ptr<platform::Font> platformFont;
};

// Process-wide fonts, never freed. kNormalFont is every new context's font,
// kSystemFont the value displays' font.
extern CFontDesc* const kSystemFont;           // "Arial" 12
extern CFontDesc* const kNormalFontSmaller;    // "Arial" 10
extern CFontDesc* const kNormalFontVeryBig;    // "Arial" 18
extern CFontDesc* const kNormalFont;           // "Arial" 12
extern CFontDesc* const kNormalFontSmall;      // "Arial" 11
extern CFontDesc* const kNormalFontBig;        // "Arial" 14
extern CFontDesc* const kNormalFontVerySmall;  // "Arial" 9
extern CFontDesc* const kSymbolFont;           // "Symbol" 13

// The eight above, for the graphics shutdown that must drop their platform
// fonts.
CFontDesc* const* predefinedFonts(std::size_t& count);

}  // namespace VSTGUI
