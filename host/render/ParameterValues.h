#pragma once
// Quelmar's gain parameters step through whole tenths of a decibel; the
// mapping is the plug-in's own, and these are the renderer's integer views
// of it.

#include "plugin/QuelmarParameters.h"

namespace render {

inline int tenthsOf(float normalised) { return static_cast<int>(QuelmarParameters::tenthsOf(normalised)); }

// A normalised value that lands on exactly the given tenth (-300..0).
using QuelmarParameters::normalisedForTenths;

}  // namespace render
