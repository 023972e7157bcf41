// A picture of a window as the screen shows it, caption and frame included,
// for the README's pictures and the device test's look at the window.
#pragma once

#include <string>

#include "core/windows_api.h"

namespace rtd::winapp {

// Saves it as a 24-bit BMP file at path (UTF-8); false when that fails.
bool SaveWindowPicture(HWND window, const std::string& path);

}  // namespace rtd::winapp
