#include "shell/form/command_line.h"

#include <string_view>

namespace rtd::shell {

namespace {

constexpr const char* kUsage =
    "Usage: rtdprog [--simulate[=FILE]]\n"
    "  --simulate[=FILE]  use the virtual programmer (configured by FILE)\n"
    "  -h, --help         this help\n"
    "  --version          program version\n";

}  // namespace

WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& arguments) {
  using Action = WindowCommandLine::Action;
  WindowCommandLine line;
  constexpr std::string_view kSimulateWith = "--simulate=";
  for (const std::string& a : arguments) {
    if (a == "--simulate") {
      line.choice.simulate = true;
    } else if (a.rfind(kSimulateWith, 0) == 0 && a.size() > kSimulateWith.size()) {
      line.choice.simulate = true;
      line.choice.simulate_file = a.substr(kSimulateWith.size());
    } else if (a == "-h" || a == "--help") {
      return {Action::kHelp, {}, kUsage};
    } else if (a == "--version") {
      return {Action::kVersion, {}, std::string("rtdprog ") + RTD_PROGRAM_VERSION + "\n"};
    } else {
      return {Action::kWrong, {}, "rtdprog: unknown argument '" + a + "'\n" + kUsage};
    }
  }
  return line;
}

}  // namespace rtd::shell
