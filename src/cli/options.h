// The command line as given: the options (each recognised wherever it
// stands) and the words that are not options (the command and its FILE).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rtd::cli {

struct Options {
  bool help = false;
  bool version = false;
  bool simulate = false;
  std::string simulate_file;
  std::optional<int32_t> language;
  bool comm_log = false;
  std::string jedec;
  bool yes = false;
  bool quick = false;
  std::string device;
  std::optional<uint32_t> wait_busy;  // seconds
  bool verify = false;       // read --verify
  bool verify_full = false;  // write --verify=full
  bool diff = false;         // compare --diff
  bool no_backup = false;
  bool accept_repeating = false;
  std::vector<std::string> positional;
};

// Parses the arguments; empty text on success, else what is wrong.
std::string ParseOptions(const std::vector<std::string>& args, Options& o);

}  // namespace rtd::cli
