// rtdprog-cli entry point: real streams, real signals, the real clock.
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "cli/stop_signals.h"
#include "config/paths.h"

namespace {

// The stop request of Ctrl-C, a hang-up or a termination signal.
std::atomic<bool> g_interrupted{false};

std::string LocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v;
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  rtd::cli::ListenForStopSignals(g_interrupted);

  std::vector<std::string> args(argv + 1, argv + argc);
  rtd::cli::CliEnvironment env{std::cout, std::cerr, std::cin};
  env.in_is_terminal = isatty(STDIN_FILENO) == 1;
  env.err_is_terminal = isatty(STDERR_FILENO) == 1;
  env.locale = LocaleName();
  env.files = rtd::CurrentFileEnvironment();
  env.interrupted = &g_interrupted;
  return rtd::cli::RunCli(args, env);
}
