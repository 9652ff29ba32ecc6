#include "CFontDesc.h"

#include <cstring>

#include "platform/Platform.h"

namespace VSTGUI {

CFontDesc::CFontDesc(const char* name_, std::int32_t size_, std::int32_t style_)
    : size(size_), style(style_) {
  if (name_) {
    name = name_;
    hasName = true;
  }
}

CFontDesc::~CFontDesc() = default;

void CFontDesc::setName(const char* newName) {
  if (!newName && !hasName) return;
  if (newName && hasName && name == newName) return;
  hasName = newName != nullptr;
  name = newName ? newName : "";
  freePlatformFont();
}

void CFontDesc::freePlatformFont() { platformFont.reset(); }

platform::Font* CFontDesc::getPlatformFont() {
  if (platformFont) return platformFont.get();
  // One style only, the highest bit winning: the platform has no combined
  // bold-italic-underline face of its own.
  platform::FontStyle face = platform::kFontRegular;
  if (style & kUnderlineFace)
    face = platform::kFontUnderline;
  else if (style & kItalicFace)
    face = platform::kFontItalic;
  else if (style & kBoldFace)
    face = platform::kFontBold;

  // A family the platform cannot name falls back to its generic sans-serif.
  const char* family = hasName && name.size() <= kMaxFamilyNameLength ? name.c_str() : nullptr;
  if (family) platformFont = platform::createFont(family, float(size), face);
  if (!platformFont) platformFont = platform::createFont(nullptr, float(size), face);
  return platformFont.get();
}

namespace {
CFontDesc systemFont("Arial", 12);
CFontDesc normalFontSmaller("Arial", 10);
CFontDesc normalFontVeryBig("Arial", 18);
CFontDesc normalFont("Arial", 12);
CFontDesc normalFontSmall("Arial", 11);
CFontDesc normalFontBig("Arial", 14);
CFontDesc normalFontVerySmall("Arial", 9);
CFontDesc symbolFont("Symbol", 13);

CFontDesc* const allPredefined[] = {&systemFont,      &normalFontSmaller, &normalFontVeryBig,
                                    &normalFont,      &normalFontSmall,   &normalFontBig,
                                    &normalFontVerySmall, &symbolFont};
}  // namespace

CFontDesc* const kSystemFont = &systemFont;
CFontDesc* const kNormalFontSmaller = &normalFontSmaller;
CFontDesc* const kNormalFontVeryBig = &normalFontVeryBig;
CFontDesc* const kNormalFont = &normalFont;
CFontDesc* const kNormalFontSmall = &normalFontSmall;
CFontDesc* const kNormalFontBig = &normalFontBig;
CFontDesc* const kNormalFontVerySmall = &normalFontVerySmall;
CFontDesc* const kSymbolFont = &symbolFont;

CFontDesc* const* predefinedFonts(std::size_t& count) {
  count = sizeof(allPredefined) / sizeof(allPredefined[0]);
  return allPredefined;
}

}  // namespace VSTGUI
