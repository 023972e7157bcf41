// The commands of rtdprog-cli as a table: each with its own check of the
// command line and its own run, as git and ip dispatch their subcommands.
#pragma once

#include <string>
#include <string_view>

#include "cli/cli.h"
#include "cli/cli_output.h"
#include "cli/options.h"
#include "flash/operations.h"
#include "shell/session.h"

namespace rtd::cli {

// One run of a command: what it was given and what it works with.
struct CommandRun {
  const Options& options;
  CliEnvironment& env;
  CliOutput& out;
  shell::Session& session;
  // The connect check's result, for the commands that need the flash.
  OpResult connect = OpResult::kNotStarted;
};

struct Command {
  const char* name;
  // What its FILE is: none, a dump it writes, or an image it reads.
  enum class File { kNone, kDump, kImage } file;
  // What has to be there before it runs: nothing (it finds the programmers
  // itself), the programmer, or the identified flash (the connect check
  // runs first).
  enum class Needs { kNothing, kProgrammer, kFlash } needs;
  // Whether it erases the chip: then the backup folder must be there
  // before even the connect check.
  bool erases;
  // Its own options: empty when what was given suits it, else what is
  // wrong (a usage error).
  std::string (*check)(const Options&);
  // Runs it; the exit status.
  int (*run)(CommandRun&);
};

// The command of that name, or null.
const Command* FindCommand(std::string_view name);

// The command's words and options as the user gave them: empty when they
// suit it, else what is wrong (a usage error).
std::string CheckCommandLine(const Command& command, const Options& options);

// The exit status for how an operation ended.
int ExitFor(OpResult result, const CliOutput& out);

}  // namespace rtd::cli
