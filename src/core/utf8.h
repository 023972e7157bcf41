// UTF-8, the program's own text encoding, for the places that build it from
// code points (ini files in Windows-1251, the system's wide strings), and
// the one way text from outside is made safe to show.
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

// Text that comes from outside the program (another program's name, a
// device's name) as it may be shown on one line of a terminal, the log or
// the status bar: every control character, every line or paragraph
// separator, every character that turns the direction of the text, and
// every byte that is not UTF-8 becomes U+FFFD.
// An escape sequence in a process name would otherwise retitle, clear or
// recolour the user's terminal.
std::string ShowableText(std::string_view text);

}  // namespace rtd
