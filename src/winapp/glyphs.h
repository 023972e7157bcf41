// The eight toolbar glyphs, in button order, from the XPM sources the Qt
// window uses too.
#pragma once

#include "winapp/xpm.h"

namespace rtd::winapp {

inline constexpr int kGlyphCount = 8;

// The glyph of button i (0 ... 7, ToolButton order). A glyph that cannot be
// read is an empty picture (the button then shows nothing).
const Picture& Glyph(int i);

}  // namespace rtd::winapp
