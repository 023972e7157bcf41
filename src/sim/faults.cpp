// The faults injected on purpose: which one a request meets, and what it
// does to the answer.
#include <cstring>

#include "sim/programmer_state.h"

namespace rtd::sim {

void VirtualProgrammer::AddFault(const Fault& fault) { state_->faults.push_back({fault, 0, 0}); }
void VirtualProgrammer::ClearFaults() { state_->faults.clear(); }

std::optional<FaultKind> VirtualProgrammer::State::MatchFault(uint8_t command, uint32_t address) {
  std::optional<FaultKind> hit;
  for (auto& a : faults) {
    const Fault& f = a.fault;
    if (f.command >= 0 && f.command != (command & 0x7F)) continue;
    if (f.address >= 0 && f.address != int64_t{address}) continue;
    ++a.seen;
    // A lost contact and a clip on another board are states of the board,
    // not spoilt replies: they take no turn from the other faults.
    if (f.kind == FaultKind::kNoContact) {
      if (a.seen > f.after) no_contact = true;
      continue;
    }
    if (f.kind == FaultKind::kOtherChip) {
      if (a.seen > f.after) other_chip = f.jedec;
      continue;
    }
    if (hit || a.seen <= f.after) continue;
    if (f.count != 0 && a.fired >= f.count) continue;
    ++a.fired;
    hit = f.kind;
  }
  return hit;
}

// The faults that answer with a status in the command's place; false when
// the command is left to the firmware.
bool VirtualProgrammer::State::ReplyFaultStatus(std::optional<FaultKind> fault, uint32_t address) {
  if (fault == FaultKind::kStatus253) {
    ReplyStatus(kReplyFailed, address);
    return true;
  }
  if (fault == FaultKind::kStatus254) {
    ReplyStatus(kReplyParamError, address);
    return true;
  }
  return false;
}

// Seals the answer with its checksum. The fault that hit, if any, spoils
// the answer before, or the checksum after.
void VirtualProgrammer::State::SealReply(std::optional<FaultKind> fault, uint32_t address) {
  if (fault == FaultKind::kWrongAddress) SetReportAddress(reply, address ^ 0x000101);
  if (fault == FaultKind::kShortBlock && reply[1] >= 0x80 && reply[1] < kReplyFailed) {
    const uint32_t had = DecodeReportLength(reply[5]);
    const uint32_t keep = had == kReportDataSize ? 100 : (had > 0 ? had - 1 : 0);
    reply[5] = static_cast<uint8_t>(keep);
    std::memset(reply.data() + kReportDataOffset + keep, 0, kReportDataSize - keep);
  }
  if (fault == FaultKind::kFlippedBit && reply[1] >= 0x80 && reply[1] < kReplyFailed &&
      DecodeReportLength(reply[5]) > 0)
    reply[kReportDataOffset] ^= 0x01;
  reply[kReportChecksumOffset] = ReportChecksum(reply);
  if (fault == FaultKind::kBadChecksum) reply[kReportChecksumOffset] ^= 0x5A;
}

}  // namespace rtd::sim
