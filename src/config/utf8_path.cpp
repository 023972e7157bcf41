#include "config/utf8_path.h"

#include <fcntl.h>

#ifdef _WIN32
#include <io.h>

#include "config/windows_files.h"
#endif

namespace rtd {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
#ifdef _WIN32
  return std::filesystem::path(win::Widen(utf8));
#else
  return std::filesystem::path(utf8);
#endif
}

std::string Utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
  return win::Narrow(path.wstring());
#else
  return path.string();
#endif
}

int OpenUtf8(const std::string& path, int flags, int mode) {
#ifdef _WIN32
  return ::_wopen(win::Widen(path).c_str(), flags, mode);
#else
  return ::open(path.c_str(), flags, mode);
#endif
}

}  // namespace rtd
