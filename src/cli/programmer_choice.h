// The command line's programmer choice: listing every attached programmer
// and pinning the link to one of them.
#pragma once

#include <iosfwd>
#include <string>

#include "core/output_services.h"
#include "link/commands.h"

namespace rtd::cli {

// Logs one line per attached programmer: path, serial number, name,
// versions; for one that cannot be opened or did not answer, why. kExitOk
// when every one answered; otherwise the reasons (and, for one that cannot
// be opened, how to give access) go to err and the result is kExitFailure.
int ListProgrammers(Programmer& programmer, OutputServices& out, std::ostream& err);

// Pins the link to the programmer whose interface path or serial number is
// wanted. Empty text on success, else what to tell the user.
std::string SelectProgrammer(Programmer& programmer, const std::string& wanted);

}  // namespace rtd::cli
