// The toolbar glyphs are XPM pictures shared with the Qt window; this turns
// one into pixels for a window that has no XPM reader of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rtd::winapp {

struct Picture {
  int width = 0;
  int height = 0;
  // Row by row from the top, 0xAARRGGBB; alpha is 0 (the "None" colour) or 255.
  std::vector<uint32_t> pixels;
};

// Reads the strings of an XPM array (header, colours, rows). Colours may
// be "#RRGGBB" or "None"; a picture that does not follow the format gives
// false and the reason in *error.
bool ParseXpm(const char* const* lines, int count, Picture* picture, std::string* error);

}  // namespace rtd::winapp
