// The command line's programmer choice: listing every attached programmer,
// pinning the link to one of them, and taking it before a command starts.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/cli_output.h"
#include "core/clock.h"
#include "core/output_services.h"
#include "link/commands.h"

namespace rtd::cli {

// Logs one line per attached programmer: path, serial number, name,
// versions; for one that cannot be opened or did not answer, why; for one
// in use by another program, that program; for one whose lock the system
// refuses, its reason. kExitOk when every one answered or is in use;
// otherwise the reasons (and, for one that cannot be opened, how to give
// access) go to err and the result is kExitFailure.
int ListProgrammers(Programmer& programmer, OutputServices& out, std::ostream& err);

// The programmer whose interface path or serial number is wanted, among
// those attached.
struct ProgrammerChoice {
  std::string path;     // empty when none is the one
  std::string refusal;  // then what to tell the user: none among how many, and why
  // In use by another program, so their serial numbers cannot be asked:
  // one of them may be the one wanted, and the only ones worth waiting for.
  bool may_be_in_use = false;
};
ProgrammerChoice ChooseProgrammer(Programmer& programmer, const std::string& wanted);

// Takes the programmer a command works with (the one `wanted` names, the
// first found when it is empty) before the command sends anything. While
// another program holds it, waits up to wait_seconds (0: not at all) and
// says so once on err. A wanted device that turns out to be no programmer
// (a keyboard's path) is refused as naming none. Nothing when the command
// may go on (whatever else the opening met, the command meets as it always
// has); else the exit status, its reason told on err.
std::optional<int> ClaimProgrammer(Programmer& programmer, const std::string& wanted,
                                   uint32_t wait_seconds, CliOutput& out, std::ostream& err,
                                   Clock& clock);

}  // namespace rtd::cli
