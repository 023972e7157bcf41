// How a flash operation ended, and how a refusal is told.
#pragma once

#include "core/output_services.h"

namespace rtd {

// How an operation ended, for front ends that need more than the user was
// already shown (the command line's exit status). The window ignores it.
enum class OpResult {
  kOk,          // done; for compares: flash and file the same
  kNotStarted,  // stop request to a running operation, no identified flash, or answered No
  kCancelled,   // the file chooser was cancelled
  kFailed,      // a failure the user has been shown
  kMismatch,    // a compare (or a write's verification) found a difference
  kStopped,     // the user stopped it ("User terminate")
  kUnknownChip,  // connect check: the id was read, but jedec.ini does not list it usefully
  kBeyondReach,  // connect check: the id says more than the programmer can address (told)
  kNoLink,       // connect check: the programmer never reported its link to the flash up
  kNoChip,       // connect check: the id read as all ones or all zeros (no chip, or no contact)
  kNoId,         // connect check: the id read was refused, or its reply held no id
};

// A refusal told in full: the same text as a log line and an error box.
// Returns false, for the caller to return.
template <typename... Args>
bool Refuse(OperationServices& out, const char* format, const Args&... args) {
  out.LogPrintf(format, args...);
  out.MessageBoxPrintf(MB_ICONERROR, format, args...);
  return false;
}

}  // namespace rtd
