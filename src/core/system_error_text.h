// The system's own words for an error, in the program's language where the
// system has them. The process's locale is the environment's (the Qt window
// takes it at start), and its language may not be the one the user chose
// in the window: a reason is therefore asked for in the program's
// language, and where the system has no words in it (no Russian locale
// installed, the C runtime of Windows) it comes in English.
#pragma once

#include <string>
#include <system_error>

namespace rtd {

// For an errno value.
std::string SystemErrorText(int error);
// For an error of the standard library's calls (std::filesystem): errno
// values, and on Windows the system's error codes too.
std::string SystemErrorText(const std::error_code& error);

}  // namespace rtd
