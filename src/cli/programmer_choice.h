// The command line's programmer choice: listing every attached programmer
// and pinning the link to one of them.
#pragma once

#include <iosfwd>
#include <string>

#include "core/output_services.h"
#include "link/commands.h"

namespace rtd::cli {

// Logs one line per attached programmer: path, serial number, name,
// versions (or why it did not answer). kExitOk when at least one answered;
// otherwise the reason goes to err and the result is kExitFailure.
int ListProgrammers(Programmer& programmer, OutputServices& out, std::ostream& err);

// Pins the link to the programmer whose interface path or serial number is
// wanted. Empty text on success, else what to tell the user.
std::string SelectProgrammer(Programmer& programmer, const std::string& wanted);

}  // namespace rtd::cli
