// UTF-8, the program's own text encoding, for the places that build it from
// code points (ini files in Windows-1251, the system's wide strings).
#pragma once

#include <string>

namespace rtd {

// Appends the UTF-8 form of one code point (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t c);

}  // namespace rtd
