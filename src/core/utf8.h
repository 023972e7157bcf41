// UTF-8, the program's own text encoding, for the places that build it from
// code points (ini files in Windows-1251, the system's wide strings).
#pragma once

#include <string>
#include <string_view>

namespace rtd {

// Appends the UTF-8 form of one code point (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t c);

// UTF-8 as UTF-16 (a device's strings in the virtual programmer); a broken
// sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 as UTF-8 (the system's wide strings); a lone surrogate becomes
// U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace rtd
