// The eight toolbar glyphs of the shared form description, read once.
#pragma once

#include "core/output_services.h"
#include "winapp/xpm.h"

namespace rtd::winapp {

// The glyph of a button. A glyph that cannot be read is an empty picture
// (the button then shows nothing).
const Picture& Glyph(ToolButton button);

}  // namespace rtd::winapp
