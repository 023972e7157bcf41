// The program holds every path in UTF-8. A std::filesystem::path made
// straight from a std::string reads it in the system's code page on
// Windows, so a folder named in another script ("Иван") comes out garbled;
// every place that makes or opens a folder or file through std::filesystem
// goes through these two instead (elsewhere they change nothing).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace rtd {

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// open() of a file named in UTF-8, with the flags of core/open_flags.h; on
// Windows through the wide call, as the narrow one reads the name in the
// code page. The descriptor, or -1 with errno set.
int OpenUtf8(const std::string& path, int flags, int mode = 0);

}  // namespace rtd
