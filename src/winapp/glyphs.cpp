#include "winapp/glyphs.h"

#include <array>
#include <string>

#include "shell/form/form.h"

namespace rtd::winapp {

const Picture& Glyph(ToolButton button) {
  static const std::array<Picture, shell::kToolButtonCount> pictures = [] {
    std::array<Picture, shell::kToolButtonCount> out;
    for (const shell::form::ToolButtonDesign& d : shell::form::kToolButtons) {
      std::string error;
      Picture& picture = out[shell::Index(d.button)];
      if (!ParseXpm(d.glyph.lines, d.glyph.count, &picture, &error)) picture = Picture{};
    }
    return out;
  }();
  return pictures[shell::Index(button)];
}

}  // namespace rtd::winapp
