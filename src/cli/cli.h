// rtdprog-cli: the command-line front end. Everything it does goes through
// the same operations as the window; this file only chooses which.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "config/paths.h"
#include "core/clock.h"

namespace rtd::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;      // an operation failed, or no programmer
inline constexpr int kExitUsage = 2;        // bad command line or simulator configuration
inline constexpr int kExitMismatch = 3;     // flash and file differ (compare or write verification)
inline constexpr int kExitStopped = 4;      // stopped by the user (Ctrl-C)
inline constexpr int kExitNotDone = 5;      // nothing done: write not confirmed, or file choice empty
inline constexpr int kExitReadsDiffer = 6;  // read --verify: the two reads differ, nothing saved

// What the command line runs in; tests run it in-process with their own.
struct CliEnvironment {
  CliEnvironment(std::ostream& o, std::ostream& e, std::istream& i) : out(o), err(e), in(i) {}

  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool in_is_terminal = false;
  bool err_is_terminal = false;
  // Locale name used when --lang is not given (LC_ALL / LC_MESSAGES / LANG).
  std::string locale;
  // The executable's path and the user's folders: they decide where
  // jedec.ini, the settings file and the backups are (config/paths.h).
  FileEnvironment files;
  // Set from a signal handler on Ctrl-C; may be null.
  const std::atomic<bool>* interrupted = nullptr;
  // The clock; null means the system clock.
  Clock* clock = nullptr;
  // Runs on every message pump (tests use it to act between blocks).
  std::function<void()> on_pump;
};

int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

}  // namespace rtd::cli
