// The window's command line, for either window: rtdprog [--simulate[=FILE]].
#pragma once

#include <string>
#include <vector>

#include "shell/session.h"

namespace rtd::shell {

struct WindowCommandLine {
  enum class Action {
    kRun,      // open the window on `choice`
    kHelp,     // say `text` (the usage) and end with status 0
    kVersion,  // say `text` (the version) and end with status 0
    kWrong,    // say `text` (what is wrong, then the usage) and end with status 2
  };
  Action action = Action::kRun;
  PlatformChoice choice;
  std::string text;
};

// The arguments after the program's name, as UTF-8.
WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& arguments);

}  // namespace rtd::shell
