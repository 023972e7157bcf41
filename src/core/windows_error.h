// The system's own words for a Windows error code, for every layer that
// calls Windows: in the program's language where Windows has it, else in
// Windows' own; in UTF-8 (the program's encoding), without the trailing
// full stop and line break; "error N" where the system has no text.
#pragma once

#ifdef _WIN32
#include <cstdint>
#include <string>

namespace rtd::win {

std::string SystemErrorText(uint32_t code);

}  // namespace rtd::win
#endif
