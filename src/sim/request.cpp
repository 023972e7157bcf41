// A request's way through the programmer: the report decoded, its fault
// met, the request recorded, the command carried out (or refused) and the
// answer sealed for the get-feature that fetches it.
#include <optional>

#include "sim/programmer_state.h"

namespace rtd::sim {
namespace {

// A request report as the programmer reads it (link/report.h has the layout).
struct Decoded {
  uint8_t command = 0;
  uint32_t address = 0;
  uint32_t n = 0;
  const uint8_t* payload = nullptr;
  // The checksum matches and the length byte is one the protocol knows.
  bool intact = false;
};

Decoded Decode(const uint8_t* report) {
  Decoded r;
  r.command = report[1];
  r.address = uint32_t{report[2]} << 16 | uint32_t{report[3]} << 8 | report[4];
  const uint8_t length_byte = report[5];
  r.n = DecodeReportLength(length_byte);
  r.payload = report + kReportDataOffset;
  const bool malformed = (length_byte & 0x80) != 0 && length_byte != 0x80;
  const uint8_t sum = FrameChecksum(0, report + 1, kReportChecksumOffset - 1);
  r.intact = sum == report[kReportChecksumOffset] && !malformed;
  return r;
}

}  // namespace

bool VirtualProgrammer::State::Receive(const Device& d, const uint8_t* report) {
  const Decoded r = Decode(report);

  const std::optional<FaultKind> fault = MatchFault(r.command, r.address);
  if (fault == FaultKind::kTransferFailure) return false;

  ++exchanges;
  if (record) {
    SimRequest q;
    q.command = r.command;
    q.address = r.address;
    q.length = r.n;
    q.payload.assign(r.payload, r.payload + r.n);
    requests.push_back(std::move(q));
  }

  if (fault == FaultKind::kTimeout) {
    reply_state = Reply::kNever;
    return true;
  }
  reply_state = Reply::kReady;
  if (!r.intact) {
    ReplyStatus(kReplyParamError, r.address);
  } else if (!ReplyFaultStatus(fault, r.address)) {
    requester = &d;
    Execute(r.command, r.address, r.payload, r.n);
  }
  SealReply(fault, r.address);
  return true;
}

}  // namespace rtd::sim
