#include "GDIPlusGlobals.h"

#include "CFontDesc.h"
#include "platform/Platform.h"

namespace VSTGUI {

GDIPlusGlobals* GDIPlusGlobals::instance = nullptr;

GDIPlusGlobals::GDIPlusGlobals() { platform::startGraphics(token); }

GDIPlusGlobals::~GDIPlusGlobals() {
  // The process-wide fonts outlive the library; their platform fonts must not,
  // and are made afresh at the next start.
  std::size_t count = 0;
  CFontDesc* const* fonts = predefinedFonts(count);
  for (std::size_t i = 0; i < count; ++i) fonts[i]->freePlatformFont();
  platform::shutdownGraphics(token);
}

void GDIPlusGlobals::acquire() {
  if (instance)
    instance->retain();
  else
    instance = new GDIPlusGlobals();
}

void GDIPlusGlobals::releaseShared() {
  if (!instance) return;
  GDIPlusGlobals* last = instance;
  if (last->getNbReference() == 1) instance = nullptr;
  last->release();
}

}  // namespace VSTGUI
