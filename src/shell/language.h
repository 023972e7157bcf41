// The language switch's rule, and the window title it rebuilds.
#pragma once

#include <cstdint>
#include <string>

namespace rtd::shell {

// The program's version as its title shows it.
inline constexpr const char* ProgramVersion = "1.03";

// What SetLanguage(index) selects: -1 asks for the current language and
// changes nothing; 1 is English; 0 and every other value Russian.
int32_t LanguageForIndex(int32_t index, int32_t current);

// The main window's title in the current language.
std::string WindowCaption();

}  // namespace rtd::shell
