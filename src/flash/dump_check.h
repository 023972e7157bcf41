// What a dump says about the board before anyone trusts it. A clip without
// contact reads all 0xFF, a board without power or with a shorted data line
// all 0x00, and a chip smaller than its jedec.ini entry (or one with an open
// address line) reads as the same content over and over. Each of these
// looks like a dump and is none; the user is told, the operation goes on.
#pragma once

#include <cstdint>

#include "core/output_services.h"

namespace rtd {

enum class DumpFinding {
  kNone,     // nothing suspicious
  kBlank,    // every byte 0xFF
  kZero,     // every byte 0x00
  kRepeats,  // the content repeats with a period that divides its size
};

struct DumpCheck {
  DumpFinding finding = DumpFinding::kNone;
  // kRepeats: the smallest period found, in bytes (size / 2, size / 4, ...).
  uint32_t period = 0;
};

// Linear in size: the halves are compared, then the halves of the first
// half while they keep matching, so no byte is read more than twice; for
// real firmware the first comparison ends within the first bytes.
DumpCheck CheckDump(const uint8_t* data, uint32_t size);

// Where the bytes came from, which decides what a finding means.
enum class DumpSource {
  kFlash,  // read from the board's flash (a read or a backup)
  kImage,  // an image file about to be written
};

// A finding as a warning in the log and a box with one OK button; nothing
// for kNone. A blank flash is only a log line: callers tell findings of the
// flash only once its id has proved the contact. A blank image is not told
// here: the write asks about it.
void WarnAboutDump(OperationServices& out, const DumpCheck& check, DumpSource source);

// Before a write: an image that holds no firmware at all (all 0xFF) is asked
// about again; every other finding is a warning. True when the write may go
// on.
bool ConfirmImage(OperationServices& out, const uint8_t* image, uint32_t length);

}  // namespace rtd
