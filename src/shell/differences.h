// The list of differences of a full compare as the window's Copy puts it on
// the clipboard: each differing range as hex lines of the file and the
// flash side by side, 16 bytes a line, the differing bytes in brackets, and
// the ranges as the log names them. Built here so every window copies the
// same text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "flash/service_commands.h"

namespace rtd::shell {

struct DifferenceListing {
  std::string title;  // the view's caption
  // One entry a range for the list beside the hex view: as the log names
  // it, but its length in hex with 0x, as the Length field takes it.
  std::vector<std::string> ranges;
  std::vector<std::string> lines;

  // The whole listing, one line after another, as it is copied.
  std::string Text() const;
};

// At most this many hex lines are listed; a note says how many more there
// would have been.
inline constexpr std::size_t kMaxDifferenceLines = 4096;

// The listing of a compare's differences (file and flash as kept by the
// compare), in the current language.
DifferenceListing ListDifferences(const ServiceCommands::Differences& differences);

}  // namespace rtd::shell
