#include "link/exchange.h"

#include <algorithm>
#include <cstring>
#include <string>

#include <fmt/printf.h>

#include "link/commands.h"

namespace rtd {

namespace {

// Clears the busy flag however the exchange ends.
class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& flag_;
};

// A request: zeros everywhere, then command, 24-bit address, length byte and
// as much payload as the length byte announces room for.
HidReport BuildRequest(uint8_t command, uint32_t address, const uint8_t* payload,
                       uint32_t length) {
  HidReport report{};
  report[1] = command;
  SetReportAddress(report, address);
  report[5] = EncodeReportLength(length);
  if (payload != nullptr && length > 0) {
    std::memcpy(report.data() + kReportDataOffset, payload,
                std::min<std::size_t>(length, kReportDataSize));
  }
  return report;
}

// The LinkStatus of a status reply (255, 254, 253); false for any other
// command byte.
bool StatusReply(uint8_t command_byte, LinkStatus* status) {
  switch (command_byte) {
    case kReplySuccess:
      *status = kLinkOk;
      return true;
    case kReplyParamError:
      *status = kLinkParamError;
      return true;
    case kReplyFailed:
      *status = kLinkFailedResult;
      return true;
    default:
      return false;
  }
}

bool AddressEchoed(const HidReport& request, const HidReport& reply) {
  return reply[2] == request[2] && reply[3] == request[3] && reply[4] == request[4];
}

}  // namespace

LinkStatus Link::ReportExchange(HidReport& report, uint32_t timeout_ms) {
  // A nested exchange (from a timer or a click handled inside a long
  // operation's message pump) waits until the running one has its reply.
  while (ExchangeBusy) out_.ProcessMessages();
  BusyScope busy(ExchangeBusy);

  report[0] = kReportId;
  report[kReportChecksumOffset] = ReportChecksum(report);
  CommLogLine(">", report);

  LinkStatus result = transport_.ReportSend(report);
  if (result != kLinkOk) return result;

  report.fill(0);
  const uint32_t start = clock_.TickCount();
  for (;;) {
    // No pause between polls: the HID stack paces the transfers.
    report[0] = kReportId;
    result = transport_.ReportReceive(report);
    if (result != kLinkOk) return result;
    if (report[1] == 0) {
      if (static_cast<uint32_t>(clock_.TickCount() - start) >= timeout_ms) return kLinkTimeout;
      continue;
    }
    // Logged before the checksum test, so a corrupt reply still shows up.
    CommLogLine("<", report);
    return report[kReportChecksumOffset] == ReportChecksum(report) ? kLinkOk : kLinkCommFailure;
  }
}

LinkStatus Link::CommandRead(uint8_t code, uint32_t address, uint8_t* buffer, uint32_t length,
                             uint32_t* capacity, uint32_t timeout_ms, bool* data_answer) {
  PollHoldoff = 2;
  if (data_answer != nullptr) *data_answer = false;
  // The frame carries at most 256 data bytes; anything longer cannot be sent.
  if (length > kReportDataSize) return kLinkParamError;

  HidReport report = BuildRequest(code, address, buffer, length);
  const HidReport request = report;
  const LinkStatus r = ReportExchange(report, timeout_ms);
  if (r != kLinkOk) return r;

  // A bare status carries nothing to copy.
  if (LinkStatus status; StatusReply(report[1], &status)) return status;
  if (report[1] != static_cast<uint8_t>(code | 0x80) || !AddressEchoed(request, report)) {
    return kLinkCommFailure;
  }

  // A reply longer than the room is cut to the room.
  const uint32_t room = capacity != nullptr && buffer != nullptr ? *capacity : 0;
  const uint32_t copied = std::min(room, DecodeReportLength(report[5]));
  if (copied > 0) std::memcpy(buffer, report.data() + kReportDataOffset, copied);
  if (capacity != nullptr) *capacity = copied;
  if (data_answer != nullptr) *data_answer = true;
  return kLinkOk;
}

LinkStatus Link::CommandWrite(uint8_t code, uint32_t address, const uint8_t* buffer,
                              uint32_t length, uint32_t timeout_ms) {
  PollHoldoff = 2;
  if (length > kReportDataSize) return kLinkParamError;

  HidReport report = BuildRequest(static_cast<uint8_t>(code | 0x80), address, buffer, length);
  const HidReport request = report;
  const LinkStatus r = ReportExchange(report, timeout_ms);
  if (r != kLinkOk) return r;

  if (!AddressEchoed(request, report)) return kLinkCommFailure;
  if (LinkStatus status; StatusReply(report[1], &status)) return status;
  return kLinkCommFailure;
}

void Link::CommLogLine(const char* label, const HidReport& report) {
  // The connection watch asks for the programmer's identity five times a
  // second; its requests and answers would drown everything else.
  if (report[1] == kCmdProgrammerInfo || report[1] == (kCmdProgrammerInfo | 0x80)) return;
  if (!out_.CommLogEnabled()) return;

  const uint32_t now = clock_.TickCount();
  uint32_t elapsed;
  if (log_clock_origin_ == 0) {
    // 0 marks "no origin yet", so a tick of 0 is kept as 1; the first line
    // still shows 0.000.
    log_clock_origin_ = now != 0 ? now : 1;
    elapsed = 0;
  } else {
    elapsed = now - log_clock_origin_;
  }

  const uint32_t length = DecodeReportLength(report[5]);
  std::string line = fmt::sprintf("%6u.%03u %s CMD:%02X ADDR:%06lX LEN:%03u", elapsed / 1000,
                                  elapsed % 1000, label, report[1],
                                  static_cast<unsigned long>(ReportAddress(report)), length);
  if (length > 0) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    line += " [";
    for (uint32_t i = 0; i < length; ++i) {
      if (line.size() >= 996) break;  // every line stays within 1000 characters
      const uint8_t b = report[kReportDataOffset + i];
      line += ' ';
      line += kHex[b >> 4];
      line += kHex[b & 0x0F];
    }
    line += " ]";
  }
  out_.AppendCommLogLine(line);
}

}  // namespace rtd
