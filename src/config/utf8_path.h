// Paths are UTF-8 throughout the program. These two turn such a text into
// the system's path and back: on Windows through UTF-16, so a folder or file
// in any script works whatever the code page; elsewhere unchanged. Every
// place that makes or opens a file or folder through std::filesystem goes
// through them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace rtd {

std::filesystem::path PathOf(std::string_view utf8);
std::string Utf8Of(const std::filesystem::path& path);

}  // namespace rtd
