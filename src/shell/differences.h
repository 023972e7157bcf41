// The list of differences of a full compare as the window shows it: each
// differing range as hex lines of the file and the flash side by side, 16
// bytes a line, the differing bytes in brackets, and the ranges for a list
// beside it. Built here so every window shows (and copies) the same text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "flash/service_commands.h"

namespace rtd::shell {

struct DifferenceListing {
  std::string title;          // the dialog's caption
  std::string copy_caption;   // the button that copies the listing
  std::string close_caption;
  // One entry a range, as the log names it, and the listing line where its
  // hex lines begin (the list scrolls the listing there).
  std::vector<std::string> ranges;
  std::vector<std::size_t> range_lines;
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
