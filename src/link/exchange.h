// One request, one reply: the report exchange with its timeout, the
// read-type and write-type commands, and the communication log.
#pragma once

#include <cstdint>

#include "core/clock.h"
#include "core/output_services.h"
#include "link/report.h"
#include "link/transport.h"

namespace rtd {

class Link {
 public:
  Link(HidPlatform& platform, Clock& clock, OutputServices& out)
      : transport_(platform), clock_(clock), out_(out) {}

  // Sends the request in bytes 1..261, polls for the reply until its command
  // byte is non-zero or timeout_ms have passed, and leaves the reply in
  // report. 0, 3 or 5 from here; 1..4 passed up from the transport.
  LinkStatus ReportExchange(HidReport& report, uint32_t timeout_ms);

  // One read-type command. buffer holds the length-byte payload (at most
  // 256) and receives the answer data; *capacity is the room on entry and
  // the number of bytes copied on success. A bare status 255 answer succeeds
  // without touching buffer or *capacity; *data_answer, when given, tells
  // whether the answer was a data answer (false after a bare status).
  LinkStatus CommandRead(uint8_t code, uint32_t address, uint8_t* buffer, uint32_t length,
                         uint32_t* capacity, uint32_t timeout_ms, bool* data_answer = nullptr);
  // One write-type command; buffer may be null when length is 0.
  LinkStatus CommandWrite(uint8_t code, uint32_t address, const uint8_t* buffer,
                          uint32_t length, uint32_t timeout_ms);

  // One communication log line for a request (">") or a reply ("<").
  void CommLogLine(const char* label, const HidReport& report);

  HidTransport& transport() { return transport_; }
  Clock& clock() { return clock_; }
  OutputServices& out() { return out_; }

  // Set for the whole of one exchange; a nested exchange waits for it.
  bool ExchangeBusy = false;
  // Set to 2 by every command; the connection watch counts it down instead
  // of polling, so it stays out of an operation's command sequence.
  int32_t PollHoldoff = 0;

 private:
  HidTransport transport_;
  Clock& clock_;
  OutputServices& out_;
  uint32_t log_clock_origin_ = 0;  // tick of the first log line; 0 = not yet
};

}  // namespace rtd
