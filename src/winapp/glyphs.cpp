#include "winapp/glyphs.h"

#include <array>
#include <iterator>

namespace rtd::winapp {

namespace xpm {
// The XPM files are C arrays; their names are kept inside this namespace.
#include "app/glyphs/compare.xpm"
#include "app/glyphs/compare_fast.xpm"
#include "app/glyphs/connect.xpm"
#include "app/glyphs/read.xpm"
#include "app/glyphs/reset.xpm"
#include "app/glyphs/reset_rtd2662.xpm"
#include "app/glyphs/touch.xpm"
#include "app/glyphs/write.xpm"
}  // namespace xpm

namespace {

struct Source {
  const char* const* lines;
  int count;
};

template <std::size_t N>
constexpr Source Of(const char* const (&lines)[N]) {
  return {lines, static_cast<int>(N)};
}

}  // namespace

const Picture& Glyph(int i) {
  static const std::array<Picture, kGlyphCount> pictures = [] {
    const std::array<Source, kGlyphCount> sources = {
        Of(xpm::reset),   Of(xpm::connect),      Of(xpm::read),          Of(xpm::write),
        Of(xpm::compare), Of(xpm::compare_fast), Of(xpm::reset_rtd2662), Of(xpm::touch)};
    std::array<Picture, kGlyphCount> out;
    for (int k = 0; k < kGlyphCount; ++k) {
      std::string error;
      if (!ParseXpm(sources[k].lines, sources[k].count, &out[k], &error)) out[k] = Picture{};
    }
    return out;
  }();
  return pictures[static_cast<std::size_t>(i)];
}

}  // namespace rtd::winapp
