#include "winapp/xpm.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace rtd::winapp {

namespace {

// The value of the "c" key in a colour line: "#RRGGBB" or "None".
bool ColourOf(const std::string& spec, uint32_t* argb) {
  const std::size_t c = spec.find(" c ");
  const std::size_t start = c == std::string::npos ? std::string::npos : spec.find_first_not_of(' ', c + 3);
  if (start == std::string::npos) return false;
  const std::string value = spec.substr(start, spec.find(' ', start) - start);
  if (value == "None" || value == "none") {
    *argb = 0;
    return true;
  }
  if (value.size() != 7 || value[0] != '#') return false;
  char* end = nullptr;
  const unsigned long rgb = std::strtoul(value.c_str() + 1, &end, 16);
  if (*end != '\0') return false;
  *argb = 0xFF000000u | static_cast<uint32_t>(rgb);
  return true;
}

}  // namespace

bool ParseXpm(const char* const* lines, int count, Picture* picture, std::string* error) {
  int width = 0, height = 0, colours = 0, chars = 0;
  if (count < 1 || std::sscanf(lines[0], "%d %d %d %d", &width, &height, &colours, &chars) != 4 ||
      width <= 0 || height <= 0 || colours <= 0 || chars <= 0) {
    *error = "bad XPM header";
    return false;
  }
  if (count < 1 + colours + height) {
    *error = "XPM has fewer lines than its header says";
    return false;
  }
  std::map<std::string, uint32_t> palette;
  for (int i = 0; i < colours; ++i) {
    const std::string line = lines[1 + i];
    uint32_t argb = 0;
    if (line.size() < static_cast<std::size_t>(chars) || !ColourOf(line.substr(chars - 1), &argb)) {
      *error = "bad XPM colour line: " + line;
      return false;
    }
    palette[line.substr(0, chars)] = argb;
  }
  Picture out;
  out.width = width;
  out.height = height;
  out.pixels.reserve(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const std::string row = lines[1 + colours + y];
    if (row.size() != static_cast<std::size_t>(width) * chars) {
      *error = "XPM row " + std::to_string(y) + " has the wrong length";
      return false;
    }
    for (int x = 0; x < width; ++x) {
      const auto it = palette.find(row.substr(static_cast<std::size_t>(x) * chars, chars));
      if (it == palette.end()) {
        *error = "XPM row " + std::to_string(y) + " uses an undefined colour";
        return false;
      }
      out.pixels.push_back(it->second);
    }
  }
  *picture = std::move(out);
  return true;
}

}  // namespace rtd::winapp
