// The two 8-bit text encodings an ini file of this program can be in: UTF-8
// (what this platform writes) and Windows-1251 (what the Windows original
// wrote). The program works in UTF-8 throughout.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rtd {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Every Windows-1251 byte has a character (0x98, unassigned, maps to U+0098
// as Windows itself does), so this never fails.
std::string Cp1251ToUtf8(std::string_view text);

// None when the text is not valid UTF-8 or holds a character that
// Windows-1251 cannot represent.
std::optional<std::string> Utf8ToCp1251(std::string_view text);

}  // namespace rtd
